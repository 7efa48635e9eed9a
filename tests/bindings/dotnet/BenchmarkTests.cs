// bindings/dotnet/Quorvane.cs against the real library, run by Mono.
//   BenchmarkTests.exe fast              the short checks (QUORVANE_LIBRARY names the library)
//   BenchmarkTests.exe whole-run         one complete run of the library QUORVANE_LIBRARY names
//                                        (under CTest the stand-in of tests/cli: a few polls)
//   BenchmarkTests.exe explicit PATH     Load(PATH), QUORVANE_LIBRARY naming a missing file
//   BenchmarkTests.exe usual-place       neither: the loader's search path finds it
//   BenchmarkTests.exe missing           no library anywhere: a QuorvaneException names the places
// The exit status is the number of failed checks.
using System;
using System.Collections.Generic;
using System.Linq;
using System.Text.RegularExpressions;
using System.Threading;
using System.Threading.Tasks;
using Quorvane;

internal static class BenchmarkTests
{
    private static readonly string[] ReportKeys = {
        "score_single", "score_multi", "int_single_mops", "int_multi_mops", "fp_single_mflops",
        "fp_multi_mflops", "mem_bandwidth_mbps", "threads_used", "duration_ms" };

    private static readonly TimeSpan FastPoll = TimeSpan.FromMilliseconds(10);

    private static int failures;

    // Calls Report synchronously on the polling thread, so a test sees each value as it is read.
    private sealed class Recorder : IProgress<RunProgress>
    {
        public readonly List<RunProgress> Seen = new List<RunProgress>();
        public Action<RunProgress> OnReport = delegate { };

        public void Report(RunProgress value)
        {
            lock (Seen) Seen.Add(value);
            OnReport(value);
        }
    }

    private sealed class CheckFailed : Exception
    {
        public CheckFailed(string message) : base(message) { }
    }

    private static void Expect(bool condition, string what)
    {
        if (!condition) throw new CheckFailed(what);
    }

    private static void Check(string name, Action body, bool closeRun = true)
    {
        try
        {
            body();
            Console.WriteLine("ok     " + name);
        }
        catch (Exception e)
        {
            failures++;
            Console.WriteLine("FAILED " + name + ": " + e);
        }
        finally
        {
            // Leave no run behind for the next check.
            if (closeRun) CloseRun();
        }
    }

    private static void CloseRun()
    {
        Benchmark.Cancel();
        var deadline = DateTime.UtcNow.AddSeconds(30);
        while (Benchmark.State == RunState.Running && DateTime.UtcNow < deadline) Thread.Sleep(10);
    }

    private static T Throws<T>(Task task) where T : Exception
    {
        try
        {
            task.Wait(TimeSpan.FromSeconds(60));
        }
        catch (AggregateException e)
        {
            var inner = e.InnerException as T;
            if (inner != null) return inner;
            throw new CheckFailed("expected " + typeof(T).Name + ", got " + e.InnerException);
        }
        throw new CheckFailed("expected " + typeof(T).Name + ", the task " +
                              (task.IsCompleted ? "completed" : "did not end"));
    }

    private static void ExpectNonDecreasing(List<RunProgress> seen)
    {
        var percents = seen.Select(p => p.Percent).ToList();
        for (int i = 1; i < percents.Count; i++)
            Expect(percents[i] >= percents[i - 1], "progress went back: " + string.Join(",", percents));
    }

    private static void ExpectNineKeys(Report report)
    {
        var keys = Regex.Matches(report.Json, "\"([a-z_]+)\":").Cast<Match>().Select(m => m.Groups[1].Value);
        Expect(keys.SequenceEqual(ReportKeys), "report keys: " + report.Json);
    }

    private static void Fast()
    {
        Check("a cancelled token ends the run as cancelled, with the nine keys and zero measurements", () =>
        {
            var recorder = new Recorder();
            var source = new CancellationTokenSource();
            recorder.OnReport = p => { if (p.Phase == 1) source.Cancel(); };
            Throws<OperationCanceledException>(Benchmark.RunAsync(recorder, source.Token, FastPoll));
            Expect(Benchmark.State == RunState.Cancelled, "state " + Benchmark.State);
            Expect(Benchmark.Phase == 0, "phase " + Benchmark.Phase);
            var report = Benchmark.Results();
            ExpectNineKeys(report);
            Expect(report.ScoreSingle == 0 && report.ScoreMulti == 0 && report.IntSingleMops == 0 &&
                   report.IntMultiMops == 0 && report.FpSingleMflops == 0 && report.FpMultiMflops == 0 &&
                   report.MemBandwidthMbps == 0, "measurements: " + report.Json);
            Expect(report.ThreadsUsed == Environment.ProcessorCount, "threads_used " + report.ThreadsUsed);
            // A cancel seen within a millisecond of the opening reports 0 ms;
            // under one 4 s window shows that phase 1 was cut short.
            Expect(report.DurationMs < 4000, "duration_ms " + report.DurationMs);
            ExpectNonDecreasing(recorder.Seen);
        });

        Check("RunAsync returns while the run goes on, and a later cancel closes it", () =>
        {
            var source = new CancellationTokenSource();
            var task = Benchmark.RunAsync(null, source.Token);
            Expect(!task.IsCompleted && Benchmark.State == RunState.Running, "RunAsync held its caller");
            source.Cancel();
            Throws<OperationCanceledException>(task);
            Expect(Benchmark.State == RunState.Cancelled, "state " + Benchmark.State);
        });

        Check("a run that Cancel() ends throws OperationCanceledException", () =>
        {
            var recorder = new Recorder();
            recorder.OnReport = p => { if (p.Phase == 1) Benchmark.Cancel(); };
            Throws<OperationCanceledException>(Benchmark.RunAsync(recorder, CancellationToken.None, FastPoll));
            Expect(Benchmark.State == RunState.Cancelled, "state " + Benchmark.State);
        });

        Check("an exception from the progress handler cancels the run before it escapes", () =>
        {
            var recorder = new Recorder();
            recorder.OnReport = p => { if (p.Phase == 1) throw new FormatException("stop here"); };
            var error = Throws<FormatException>(Benchmark.RunAsync(recorder, CancellationToken.None, FastPoll));
            Expect(error.Message == "stop here", error.Message);
            Expect(Benchmark.State == RunState.Cancelled, "state " + Benchmark.State);
        });

        Check("a second start while running throws the library's text", () =>
        {
            Benchmark.Start();
            Expect(Benchmark.LastError == "", "last error " + Benchmark.LastError);
            try
            {
                Benchmark.Start();
                throw new CheckFailed("the second start was accepted");
            }
            catch (QuorvaneException e)
            {
                Expect(e.Message.Contains("already running"), e.Message);
            }
            Expect(Benchmark.LastError == "already running", "last error " + Benchmark.LastError);
            Expect(Benchmark.State == RunState.Running, "state " + Benchmark.State);
            // RunAsync refused in the same way leaves the run in progress alone.
            var refused = Throws<QuorvaneException>(Benchmark.RunAsync());
            Expect(refused.Message.Contains("already running"), refused.Message);
            Expect(Benchmark.State == RunState.Running, "state " + Benchmark.State);
        });

        Check("the text getters a thousand times leave the library's text alone", () =>
        {
            // A marshaller that freed the text would corrupt the heap or crash here.
            for (int i = 0; i < 1000; i++)
            {
                Expect(Benchmark.Version == "1.0.0", "version");
                Expect(Benchmark.LastError.Length < 256, "last error");
                Expect(Benchmark.Results().Json.StartsWith("{\"score_single\":"), "report");
            }
            GC.Collect();
            GC.WaitForPendingFinalizers();
            Expect(Benchmark.Version == "1.0.0", "version after a collection");
        });
    }

    private static void WholeRun()
    {
        Check("a whole run finishes with every measurement above zero", () =>
        {
            var recorder = new Recorder();
            var task = Benchmark.RunAsync(recorder);
            Expect(task.Wait(TimeSpan.FromSeconds(90)), "the run did not end");
            var report = task.Result;
            Expect(Benchmark.State == RunState.Finished, "state " + Benchmark.State);
            ExpectNineKeys(report);
            Expect(report.IntSingleMops > 0 && report.IntMultiMops > 0 && report.FpSingleMflops > 0 &&
                   report.FpMultiMflops > 0 && report.MemBandwidthMbps > 0 && report.ScoreMulti > 0,
                   "measurements: " + report.Json);
            ExpectNonDecreasing(recorder.Seen);
            Expect(recorder.Seen.Last().Percent == 100, "last progress " + recorder.Seen.Last().Percent);
            Console.WriteLine(report.Json);
        });
    }

    private static int Main(string[] args)
    {
        var mode = args.Length > 0 ? args[0] : "fast";
        switch (mode)
        {
            case "fast":
                Fast();
                break;
            case "whole-run":
                WholeRun();
                break;
            case "explicit":
                Check("Load(path) names a missing file, then loads the library and refuses a second load", () =>
                {
                    var missing = args[1] + ".absent";
                    try
                    {
                        Benchmark.Load(missing);
                        throw new CheckFailed("the load of a missing file was accepted");
                    }
                    catch (QuorvaneException e)
                    {
                        Expect(e.Message.Contains(missing), e.Message);
                    }
                    Benchmark.Load(args[1]);
                    Expect(Benchmark.Version == "1.0.0", "version");
                    try
                    {
                        Benchmark.Load(args[1]);
                        throw new CheckFailed("a second Load was accepted");
                    }
                    catch (InvalidOperationException)
                    {
                    }
                });
                break;
            case "usual-place":
                Check("the loader's search path finds the library", () =>
                {
                    Expect(Benchmark.Version == "1.0.0", "version");
                });
                break;
            case "missing":
                Check("a library found nowhere is a QuorvaneException naming the places tried", () =>
                {
                    try
                    {
                        Console.WriteLine(Benchmark.Version);
                        throw new CheckFailed("a library was loaded");
                    }
                    catch (QuorvaneException e)
                    {
                        var beside = System.IO.Path.Combine(AppDomain.CurrentDomain.BaseDirectory, Benchmark.Soname);
                        Expect(e.Message.Contains(beside), e.Message);
                        Expect(e.Message.Contains(Benchmark.Soname + " on the loader's search path"), e.Message);
                    }
                }, closeRun: false);
                break;
            default:
                Console.WriteLine("unknown mode " + mode);
                return 100;
        }
        return failures;
    }
}
