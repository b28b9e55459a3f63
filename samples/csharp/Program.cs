// Counts and merges the bundled examples through the library, one of them under a name in
// Greek, Chinese and emoji, and checks every count and message. Prints "ok" and exits 0 when all
// agree.
//
//   mono samples.exe EXAMPLES_FOLDER WORK_FOLDER
using System;
using System.IO;
using System.Text;
using KqPdfMerge;

static class Program
{
    static int failures;

    // How many times a file names the Flate filter.
    static int Filters(string path)
    {
        string text = Encoding.GetEncoding("ISO-8859-1").GetString(File.ReadAllBytes(path));
        int count = 0;
        for (int at = text.IndexOf("/FlateDecode", StringComparison.Ordinal); at >= 0;
             at = text.IndexOf("/FlateDecode", at + 1, StringComparison.Ordinal))
            count++;
        return count;
    }

    static void Check(bool condition, string what)
    {
        if (condition) return;
        Console.WriteLine("FAILED: " + what);
        failures++;
    }

    static string Pages(int n)
    {
        return n == 1 ? "1 page" : n + " pages";
    }

    // The message of a call that must fail.
    static string FailureOf(Action call)
    {
        try
        {
            call();
        }
        catch (PdfMergeException e)
        {
            return e.Message;
        }
        return "(no failure)";
    }

    static int Main(string[] args)
    {
        if (args.Length != 2)
        {
            Console.Error.WriteLine("usage: samples.exe EXAMPLES_FOLDER WORK_FOLDER");
            return 2;
        }
        Console.OutputEncoding = new UTF8Encoding(false);
        string examples = args[0];
        string work = args[1];
        Directory.CreateDirectory(work);

        Check(Native.pdfmerge_init() == 1, "pdfmerge_init returns 1");
        string unicodeName = Path.Combine(work, "Ελληνικά 中文 🙂.pdf");
        File.Copy(Path.Combine(examples, "rotated.pdf"), unicodeName, true);
        string[] inputs = {
            Path.Combine(examples, "letter.pdf"),
            Path.Combine(examples, "object-streams.pdf"),
            unicodeName,
        };

        int total = 0;
        foreach (string input in inputs)
        {
            int n = PdfMerge.PageCount(input);
            Console.WriteLine(Path.GetFileName(input) + ": " + Pages(n));
            total += n;
        }
        Check(total == 6, "the examples hold 1 + 2 + 3 pages");

        string output = Path.Combine(work, "merged – σύνολο.pdf");
        PdfMerge.Merge(inputs, output);
        int merged = PdfMerge.PageCount(output);
        Console.WriteLine(Path.GetFileName(output) + ": " + Pages(merged));
        Check(merged == total, "merged page count");
        Check(PdfMerge.LastMessage() == "", "a success empties the message");

        string message;
        string compressed = Path.Combine(work, "compressed.pdf");
        PdfMerge.Merge(inputs, compressed,
                       MergeOptions.CompressContent | MergeOptions.KeepOutlines |
                           MergeOptions.KeepStructure);
        Check(PdfMerge.PageCount(compressed) == total, "merge with options: page count");
        Check(Filters(compressed) == Filters(output) + total,
              "each page's new content stream is compressed");
        // A batch that lists one file three times: with shared objects and object streams its
        // font is written once, and the file is a smaller PDF 1.5 file.
        string[] batch = { inputs[2], inputs[2], inputs[2] };
        string plainBatch = Path.Combine(work, "batch-plain.pdf");
        string compactBatch = Path.Combine(work, "batch-compact.pdf");
        PdfMerge.Merge(batch, plainBatch);
        PdfMerge.Merge(batch, compactBatch, MergeOptions.ShareResources | MergeOptions.ObjectStreams |
                                            MergeOptions.CompressContent);
        Check(PdfMerge.PageCount(compactBatch) == 9, "merge with shared objects: page count");
        Check(Encoding.GetEncoding("ISO-8859-1").GetString(File.ReadAllBytes(compactBatch))
                  .StartsWith("%PDF-1.5\n", StringComparison.Ordinal),
              "object streams make a PDF 1.5 file");
        Check(new FileInfo(compactBatch).Length < new FileInfo(plainBatch).Length,
              "shared objects make a smaller file");
        message = FailureOf(() => PdfMerge.Merge(inputs, compressed, (MergeOptions)(1 << 30)));
        Check(message == "unknown option bits 0x40000000", "message of an unknown option bit");

        // Page ranges and titles per input, and the options that make one document.
        string document = Path.Combine(work, "document.pdf");
        PdfMerge.Merge(inputs, new[] { null, "z", "z-1" }, new[] { "Brief", null, null }, document,
                       MergeOptions.OutlinePerInput | MergeOptions.KeepDocInfo |
                           MergeOptions.PadOdd | MergeOptions.PageLabels);
        // 1 + blank, 1 + blank, 3 (the last input gets none).
        Check(PdfMerge.PageCount(document) == 7, "merge with page ranges: page count");
        string text = Encoding.GetEncoding("ISO-8859-1").GetString(File.ReadAllBytes(document));
        Check(text.Contains("/Title (Brief)") && text.Contains("/PageLabels"),
              "the bookmark's title and the page labels");
        message = FailureOf(() => PdfMerge.Merge(inputs, new[] { null, "1-x", null }, null, document,
                                                 MergeOptions.None));
        Check(message == "input 2: bad page range \"1-x\": \"x\" is not a page number",
              "message of a bad page range");

        PdfMerge.MergeTwo(output, inputs[0], output);
        PdfMerge.Append(output, unicodeName, output);
        Check(PdfMerge.PageCount(output) == total + 1 + 3, "pdfmerge_two and pdfmerge_append onto the output");

        // Messages come back as UTF-8, quoting the path as given.
        string missing = Path.Combine(work, "λείπει 缺.pdf");
        message = FailureOf(() => PdfMerge.PageCount(missing));
        Console.WriteLine("missing file: " + message);
        Check(message == "cannot open " + missing, "message of a missing file");
        message = FailureOf(() => PdfMerge.Merge(new[] { inputs[0], missing }, output));
        Check(message == "input 2: cannot open " + missing, "message of a failed merge");
        Check(PdfMerge.PageCount(output) == total + 4, "a failed merge leaves the output as it was");

        message = FailureOf(() => PdfMerge.Merge(new[] { inputs[0] }, work));
        Check(message == "output is not a regular file: " + work, "a folder as the output");

        PdfMerge.Reset();
        Check(PdfMerge.LastMessage() == "", "pdfmerge_cleanup empties the message");
        if (failures > 0) return 1;
        Console.WriteLine("ok");
        return 0;
    }
}
