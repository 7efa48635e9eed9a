// One idle wait, then one whole run through bindings/dotnet; prints one JSON line.
// own_threads_cpu_ms: the CPU time of the threads left after the run (the
// library's end with it), from /proc/self/task/*/stat in clock ticks (CLK_TCK,
// which the calling script passes on; 100 a second otherwise). A run cancelled
// at once goes first, so compiling and first-use costs are not counted.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Threading;
using System.Threading.Tasks;
using Quorvane;

internal static class DotnetRun
{
    private static readonly double TickMs =
        1000.0 / double.Parse(Environment.GetEnvironmentVariable("CLK_TCK") ?? "100", CultureInfo.InvariantCulture);

    private static Dictionary<string, long> ThreadTicks()
    {
        var ticks = new Dictionary<string, long>();
        foreach (var task in Directory.GetDirectories("/proc/self/task"))
        {
            try
            {
                var text = File.ReadAllText(Path.Combine(task, "stat"));
                var fields = text.Substring(text.LastIndexOf(')') + 2).Split(' ');
                ticks[Path.GetFileName(task)] = long.Parse(fields[11]) + long.Parse(fields[12]);
            }
            catch (IOException)
            {
                // the thread ended between the listing and the read
            }
        }
        return ticks;
    }

    private static double CpuMsSince(Dictionary<string, long> before)
    {
        long total = 0;
        foreach (var entry in ThreadTicks())
        {
            long earlier;
            before.TryGetValue(entry.Key, out earlier);
            total += entry.Value - earlier;
        }
        return total * TickMs;
    }

    private static async Task<string> Measure(double idleSeconds)
    {
        // A run cancelled at once first, so compiling and first-use costs stay out of the figures.
        try
        {
            await Benchmark.RunAsync(null, new CancellationTokenSource(50).Token, TimeSpan.FromMilliseconds(10));
        }
        catch (OperationCanceledException)
        {
        }
        Benchmark.Results();
        var before = ThreadTicks();
        await Task.Delay(TimeSpan.FromSeconds(idleSeconds));
        var idleCpuMs = CpuMsSince(before);
        before = ThreadTicks();
        var clock = Stopwatch.StartNew();
        var report = await Benchmark.RunAsync();
        var runMs = clock.ElapsedMilliseconds;
        return string.Format(CultureInfo.InvariantCulture,
            "{{\"binding\":\"dotnet\",\"int_multi_mops\":{0},\"fp_multi_mflops\":{1},\"run_ms\":{2}," +
            "\"own_threads_cpu_ms\":{3},\"idle_ms\":{4},\"idle_cpu_ms\":{5}}}",
            report.IntMultiMops, report.FpMultiMflops, runMs, CpuMsSince(before), idleSeconds * 1000, idleCpuMs);
    }

    private static void Main(string[] args)
    {
        Console.WriteLine(Measure(double.Parse(args[0], CultureInfo.InvariantCulture)).Result);
    }
}
