// One idle wait, then one whole run through bindings/dotnet; prints one JSON line.
// Two clocks of the process's CPU time, each over the idle wait and over the
// run: own_threads, the threads left after the run (the library's end with
// it), from /proc/self/task/*/stat in clock ticks (CLK_TCK, which the calling
// script passes on; 100 a second otherwise); process, getrusage(RUSAGE_SELF)
// in microseconds, which counts the library's threads too and so shows the
// host's own cost only against a stand-in library that has none. A run
// cancelled at once goes first, so compiling and first-use costs are not counted.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using System.Threading.Tasks;
using Quorvane;

internal static class DotnetRun
{
    private static readonly double TickMs =
        1000.0 / double.Parse(Environment.GetEnvironmentVariable("CLK_TCK") ?? "100", CultureInfo.InvariantCulture);

    [StructLayout(LayoutKind.Sequential)]
    private struct Usage
    {
        public long UserSeconds, UserMicroseconds, SystemSeconds, SystemMicroseconds;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 14)] public long[] Rest;
    }

    [DllImport("libc.so.6")]
    private static extern int getrusage(int who, out Usage usage);

    private static double ProcessMs()
    {
        Usage usage;
        getrusage(0, out usage);
        return (usage.UserSeconds + usage.SystemSeconds) * 1000.0 +
               (usage.UserMicroseconds + usage.SystemMicroseconds) / 1000.0;
    }

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

    private sealed class CpuWindow
    {
        private readonly Dictionary<string, long> ticks = ThreadTicks();
        private readonly double process = ProcessMs();
        private readonly Stopwatch clock = Stopwatch.StartNew();

        public void Close(string name, StringBuilder row)
        {
            long total = 0;
            foreach (var entry in ThreadTicks())
            {
                long earlier;
                ticks.TryGetValue(entry.Key, out earlier);
                total += entry.Value - earlier;
            }
            row.AppendFormat(CultureInfo.InvariantCulture,
                ",\"{0}_ms\":{1},\"{0}_own_threads_cpu_ms\":{2},\"{0}_process_cpu_ms\":{3:0.###}",
                name, clock.ElapsedMilliseconds, total * TickMs, ProcessMs() - process);
        }
    }

    private static async Task<string> Measure(double idleSeconds)
    {
        try
        {
            await Benchmark.RunAsync(null, new CancellationTokenSource(50).Token, TimeSpan.FromMilliseconds(10));
        }
        catch (OperationCanceledException)
        {
        }
        Benchmark.Results();
        var row = new StringBuilder("{\"binding\":\"dotnet\"");
        var window = new CpuWindow();
        await Task.Delay(TimeSpan.FromSeconds(idleSeconds));
        window.Close("idle", row);
        window = new CpuWindow();
        var report = await Benchmark.RunAsync();
        window.Close("run", row);
        row.AppendFormat(CultureInfo.InvariantCulture, ",\"int_multi_mops\":{0},\"fp_multi_mflops\":{1}}}",
                         report.IntMultiMops, report.FpMultiMflops);
        return row.ToString();
    }

    private static void Main(string[] args)
    {
        Console.WriteLine(Measure(double.Parse(args[0], CultureInfo.InvariantCulture)).Result);
    }
}
