// Runs BenchmarkTests in each mode as a program of its own on this runtime.
// QUORVANE_TEST_LIBRARY names the library just built.
using System;
using System.Diagnostics;
using System.IO;
using System.Threading;
using System.Threading.Tasks;
using Xunit;

public class ModeTests
{
    private static readonly TimeSpan Limit = TimeSpan.FromSeconds(120);

    [Theory]
    [InlineData("fast")]
    [InlineData("explicit")]
    [InlineData("usual-place")]
    [InlineData("missing")]
    public async Task EveryCheckOfTheModePasses(string mode)
    {
        var library = Environment.GetEnvironmentVariable("QUORVANE_TEST_LIBRARY");
        Assert.False(string.IsNullOrEmpty(library), "QUORVANE_TEST_LIBRARY names no library");
        var program = typeof(ModeTests).Assembly.Location;
        var start = new ProcessStartInfo(Environment.GetEnvironmentVariable("DOTNET_HOST_PATH") ?? "dotnet")
        {
            RedirectStandardOutput = true,
            RedirectStandardError = true,
            UseShellExecute = false,
        };
        foreach (var argument in new[] { "exec", program, mode }) start.ArgumentList.Add(argument);
        start.Environment.Remove("QUORVANE_LIBRARY");
        start.Environment.Remove("LD_LIBRARY_PATH");
        switch (mode)
        {
            case "fast":
                start.Environment["QUORVANE_LIBRARY"] = library;
                break;
            case "explicit":
                start.Environment["QUORVANE_LIBRARY"] = library + ".absent";
                start.ArgumentList.Add(library);
                break;
            case "usual-place":
                start.Environment["LD_LIBRARY_PATH"] = Path.GetDirectoryName(library);
                break;
        }
        using (var process = Process.Start(start))
        {
            var output = process.StandardOutput.ReadToEndAsync();
            var errors = process.StandardError.ReadToEndAsync();
            using (var limit = new CancellationTokenSource(Limit))
            {
                try
                {
                    await process.WaitForExitAsync(limit.Token);
                }
                catch (OperationCanceledException)
                {
                    process.Kill(true);
                    Assert.Fail("mode " + mode + " did not end within " + Limit);
                }
            }
            var printed = await output + await errors;
            Assert.True(process.ExitCode == 0, printed);
            Assert.Contains("ok ", printed);
        }
    }
}
