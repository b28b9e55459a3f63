// The library's nine functions as a .NET host declares them, and a small safe wrapper.
//
// - CallingConvention.Cdecl: the functions are plain C functions (on x86-64 Windows there is
//   only one convention; on 32-bit hosts this one would matter).
// - Paths are marshalled as UTF-8 (LPUTF8Str), which the library reads on every platform, so any
//   file name works; the default (ANSI) marshalling would mangle names outside the code page.
// - pdfmerge_last_error returns the library's own buffer: it is declared as IntPtr (a string
//   return would make the marshaller free memory it does not own) and copied out as UTF-8
//   before the next call, which may change it.
// - One call at a time: the error text is one buffer for the whole process, so every call and
//   the reading of its message happen under one lock.
// - In the NuGet package the library lies in runtimes/<rid>/native/: .NET finds it there by
//   itself, and Mono through the package's KqOutPdfMerge.dll.config (a dllmap beside this
//   assembly).
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace KqPdfMerge
{
    /// <summary>A failed call, carrying the library's one-line message.</summary>
    public class PdfMergeException : Exception
    {
        public PdfMergeException(string message) : base(message) { }
    }

    /// <summary>The exported functions, declared exactly as the C header has them.</summary>
    public static class Native
    {
        // kq_out_pdfmerge.dll on Windows, libkq_out_pdfmerge.so on Linux (Mono adds the rest).
        const string Library = "kq_out_pdfmerge";

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int pdfmerge_init();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void pdfmerge_cleanup();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr pdfmerge_last_error();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int pdfmerge_page_count(
            [MarshalAs(UnmanagedType.LPUTF8Str)] string path);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int pdfmerge_files(
            [In, MarshalAs(UnmanagedType.LPArray, ArraySubType = UnmanagedType.LPUTF8Str)]
            string[] paths,
            int count,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string outPath);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int pdfmerge_files_opt(
            [In, MarshalAs(UnmanagedType.LPArray, ArraySubType = UnmanagedType.LPUTF8Str)]
            string[] paths,
            int count,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string outPath,
            int options);

        // `ranges` and `titles` may be null, and so may any of their entries: the marshaller
        // passes a null array or a null pointer for it.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int pdfmerge_files_ex(
            [In, MarshalAs(UnmanagedType.LPArray, ArraySubType = UnmanagedType.LPUTF8Str)]
            string[] paths,
            [In, MarshalAs(UnmanagedType.LPArray, ArraySubType = UnmanagedType.LPUTF8Str)]
            string[] ranges,
            [In, MarshalAs(UnmanagedType.LPArray, ArraySubType = UnmanagedType.LPUTF8Str)]
            string[] titles,
            int count,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string outPath,
            int options);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int pdfmerge_two(
            [MarshalAs(UnmanagedType.LPUTF8Str)] string first,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string second,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string outPath);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int pdfmerge_append(
            [MarshalAs(UnmanagedType.LPUTF8Str)] string baseFile,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string addition,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string outPath);
    }

    /// <summary>What a merge keeps or does beyond the pages (the option bits of
    /// pdfmerge_files_opt and pdfmerge_files_ex, named as the C header names them without their
    /// prefix, in CamelCase).</summary>
    [Flags]
    public enum MergeOptions
    {
        None = 0,
        KeepAnnotations = 1,  // the pages' annotations and the form fields
        KeepOutlines = 2,     // the bookmarks
        CompressContent = 4,  // the pages' content written Flate-compressed
        ShareResources = 8,   // objects of identical content (shared fonts, images) written once
        ObjectStreams = 16,   // a PDF 1.5 file with its small objects in compressed object streams
        OutlinePerInput = 32, // one bookmark per input
        KeepDocInfo = 64,     // the first inputs' title, author and metadata
        PadOdd = 128,         // a blank page after an input of an odd page count
        PageLabels = 256,     // the pages' labels
        KeepStructure = 512,  // the structure tree of tagged inputs (accessibility)
    }

    /// <summary>Page counts and merges that throw PdfMergeException on failure.</summary>
    public static class PdfMerge
    {
        static readonly object Gate = new object();

        /// <summary>The current last-error text, copied out of the library's buffer.</summary>
        static string LastError()
        {
            IntPtr text = Native.pdfmerge_last_error();
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) length++;
            var bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }

        public static int PageCount(string path)
        {
            lock (Gate)
            {
                int pages = Native.pdfmerge_page_count(path);
                if (pages < 0) throw new PdfMergeException(LastError());
                return pages;
            }
        }

        public static void Merge(string[] paths, string outPath)
        {
            lock (Gate)
            {
                if (Native.pdfmerge_files(paths, paths.Length, outPath) != 0)
                    throw new PdfMergeException(LastError());
            }
        }

        public static void Merge(string[] paths, string outPath, MergeOptions options)
        {
            lock (Gate)
            {
                if (Native.pdfmerge_files_opt(paths, paths.Length, outPath, (int)options) != 0)
                    throw new PdfMergeException(LastError());
            }
        }

        /// <summary>A merge with a choice per input: `ranges` and `titles` are null or hold one
        /// entry per path, each null (every page; no title of its own) or a page range such as
        /// "1-3,z" and the title of that input's bookmark.</summary>
        public static void Merge(string[] paths, string[] ranges, string[] titles, string outPath,
                                 MergeOptions options)
        {
            if (ranges != null && ranges.Length != paths.Length)
                throw new ArgumentException("one range per path", "ranges");
            if (titles != null && titles.Length != paths.Length)
                throw new ArgumentException("one title per path", "titles");
            lock (Gate)
            {
                if (Native.pdfmerge_files_ex(paths, ranges, titles, paths.Length, outPath,
                                             (int)options) != 0)
                    throw new PdfMergeException(LastError());
            }
        }

        public static void MergeTwo(string first, string second, string outPath)
        {
            lock (Gate)
            {
                if (Native.pdfmerge_two(first, second, outPath) != 0)
                    throw new PdfMergeException(LastError());
            }
        }

        public static void Append(string baseFile, string addition, string outPath)
        {
            lock (Gate)
            {
                if (Native.pdfmerge_append(baseFile, addition, outPath) != 0)
                    throw new PdfMergeException(LastError());
            }
        }

        /// <summary>The message of the last failed call, or "" after a success.</summary>
        public static string LastMessage()
        {
            lock (Gate)
            {
                return LastError();
            }
        }

        /// <summary>pdfmerge_init: empties the last-error text and returns 1. Optional.</summary>
        public static int Init()
        {
            lock (Gate)
            {
                return Native.pdfmerge_init();
            }
        }

        /// <summary>Empties the last-error text (pdfmerge_cleanup). Optional.</summary>
        public static void Reset()
        {
            lock (Gate)
            {
                Native.pdfmerge_cleanup();
            }
        }
    }
}
