// The NuGet package's assembly against the header and the export list: a [DllImport] for every
// exported function with the header's number of arguments, a MergeOptions member for every
// option bit (PDFMERGE_KEEP_ANNOTATIONS is KeepAnnotations), the header's version, and the
// native library loaded from the file given (the package's runtimes/linux-x64/native/).
// Prints "ok" and exits 0 when all agree.
//
//   mono AssemblyCheck.exe HEADER EXPORTS_MAP EXPECTED_LIBRARY VERSION
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Text;
using System.Text.RegularExpressions;
using KqPdfMerge;

static class AssemblyCheck
{
    static int failures;

    static void Check(bool condition, string what)
    {
        if (condition) return;
        Console.WriteLine("FAILED: " + what);
        failures++;
    }

    static string Camel(string upper)
    {
        var text = new StringBuilder();
        foreach (string word in upper.Split('_'))
            text.Append(word.Substring(0, 1)).Append(word.Substring(1).ToLowerInvariant());
        return text.ToString();
    }

    static int Main(string[] args)
    {
        if (args.Length != 4)
        {
            Console.Error.WriteLine("usage: AssemblyCheck.exe HEADER EXPORTS_MAP LIBRARY VERSION");
            return 2;
        }
        string header = Regex.Replace(File.ReadAllText(args[0]), @"/\*.*?\*/", " ",
                                      RegexOptions.Singleline);
        var exports = Regex.Matches(File.ReadAllText(args[1]), @"^ *(pdfmerge_\w+);$",
                                    RegexOptions.Multiline)
                          .Cast<Match>().Select(m => m.Groups[1].Value).OrderBy(n => n).ToList();
        Check(exports.Count > 0, "the export list names functions");

        // The number of arguments of each function the header declares.
        var arity = new Dictionary<string, int>();
        foreach (Match m in Regex.Matches(header, @"KQ_PDFMERGE_CALL\s+(\w+)\s*\(([^)]*)\)"))
        {
            string arguments = m.Groups[2].Value.Trim();
            arity[m.Groups[1].Value] = arguments == "void" ? 0 : arguments.Split(',').Length;
        }
        var declared = typeof(Native).GetMethods(BindingFlags.Public | BindingFlags.Static)
                           .Where(m => (m.Attributes & MethodAttributes.PinvokeImpl) != 0)
                           .ToDictionary(m => m.Name);
        Console.WriteLine("declared: " + string.Join(" ", declared.Keys.OrderBy(n => n)));
        Check(declared.Keys.OrderBy(n => n).SequenceEqual(exports),
              "the [DllImport] declarations are the export list");
        Check(arity.Keys.OrderBy(n => n).SequenceEqual(exports), "the header declares the export list");
        foreach (var pair in declared)
        {
            Check(arity.ContainsKey(pair.Key) &&
                      arity[pair.Key] == pair.Value.GetParameters().Length,
                  pair.Key + " takes the header's number of arguments");
        }

        var bits = Regex.Matches(header, @"^#define PDFMERGE_(\w+) (\d+)\s*$", RegexOptions.Multiline)
                       .Cast<Match>()
                       .ToDictionary(m => Camel(m.Groups[1].Value), m => int.Parse(m.Groups[2].Value));
        var options = Enum.GetNames(typeof(MergeOptions)).Where(n => n != "None")
                          .ToDictionary(n => n, n => (int)Enum.Parse(typeof(MergeOptions), n));
        Console.WriteLine("options: " + string.Join(" ", options.Select(p => p.Key + "=" + p.Value)));
        Check(bits.Count > 0 && bits.Count == options.Count &&
                  bits.All(b => options.ContainsKey(b.Key) && options[b.Key] == b.Value),
              "MergeOptions holds every option bit of the header");

        Assembly assembly = typeof(PdfMerge).Assembly;
        var informational = (AssemblyInformationalVersionAttribute)Attribute.GetCustomAttribute(
            assembly, typeof(AssemblyInformationalVersionAttribute));
        Console.WriteLine("assembly " + assembly.GetName().Name + " " + assembly.GetName().Version);
        Check(assembly.GetName().Version.ToString() == args[3] + ".0", "the assembly's version");
        Check(informational != null && informational.InformationalVersion == args[3],
              "the assembly's informational version");

        // One call loads the library; the process maps exactly the package's file.
        Check(PdfMerge.Init() == 1, "pdfmerge_init returns 1");
        string expected = Path.GetFullPath(args[2]);
        var mapped = File.ReadAllLines("/proc/self/maps")
                         .Where(line => line.Contains("libkq_out_pdfmerge"))
                         .Select(line => line.Substring(line.IndexOf('/')))
                         .Distinct().ToList();
        Console.WriteLine("native library: " + string.Join(" ", mapped));
        Check(mapped.Count == 1 && mapped[0] == expected,
              "the library comes from " + expected);
        if (failures > 0) return 1;
        Console.WriteLine("ok");
        return 0;
    }
}
