// quorvane for .NET: the Quorvane library (Quorvane.csproj builds it for
// netstandard2.0 and net6.0; the NuGet package carries the native library).
// Works on .NET Framework 4.6.2+, .NET 6+ and Mono; C# 7.2 at most, so
// Mono's mcs builds the file alone too (with System.Runtime.Serialization).
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.CompilerServices;
using System.Runtime.ExceptionServices;
using System.Runtime.InteropServices;
using System.Runtime.Serialization;
using System.Runtime.Serialization.Json;
using System.Text;
using System.Threading;
using System.Threading.Tasks;

namespace Quorvane
{
    /// <summary>The library's run state.</summary>
    public enum RunState { Idle, Running, Finished, Cancelled }

    /// <summary>The library could not be loaded, or it refused to start a run.</summary>
    public sealed class QuorvaneException : Exception
    {
        public QuorvaneException(string message) : base(message) { }
    }

    /// <summary>Percent done (0, 2, 20, 40, 60, 80, 100) and the phase now running (1 to 5, 0 when none).</summary>
    public struct RunProgress
    {
        public int Percent;
        public int Phase;
    }

    /// <summary>One run's report: the library's JSON line and its nine values.</summary>
    public sealed class Report
    {
        [DataContract]
        private sealed class Members
        {
            [DataMember(Name = "score_single")] public double ScoreSingle = 0;
            [DataMember(Name = "score_multi")] public double ScoreMulti = 0;
            [DataMember(Name = "int_single_mops")] public double IntSingleMops = 0;
            [DataMember(Name = "int_multi_mops")] public double IntMultiMops = 0;
            [DataMember(Name = "fp_single_mflops")] public double FpSingleMflops = 0;
            [DataMember(Name = "fp_multi_mflops")] public double FpMultiMflops = 0;
            [DataMember(Name = "mem_bandwidth_mbps")] public double MemBandwidthMbps = 0;
            [DataMember(Name = "threads_used")] public int ThreadsUsed = 0;
            [DataMember(Name = "duration_ms")] public ulong DurationMs = 0;
        }

        private static readonly DataContractJsonSerializer Reader =
            new DataContractJsonSerializer(typeof(Members));

        private readonly Members members;

        internal Report(string json)
        {
            Json = json;
            using (var stream = new MemoryStream(Encoding.UTF8.GetBytes(json)))
            {
                members = (Members)Reader.ReadObject(stream);
            }
        }

        public double ScoreSingle { get { return members.ScoreSingle; } }
        public double ScoreMulti { get { return members.ScoreMulti; } }
        public double IntSingleMops { get { return members.IntSingleMops; } }
        public double IntMultiMops { get { return members.IntMultiMops; } }
        public double FpSingleMflops { get { return members.FpSingleMflops; } }
        public double FpMultiMflops { get { return members.FpMultiMflops; } }
        public double MemBandwidthMbps { get { return members.MemBandwidthMbps; } }
        public int ThreadsUsed { get { return members.ThreadsUsed; } }
        public ulong DurationMs { get { return members.DurationMs; } }

        /// <summary>The report line exactly as the library wrote it.</summary>
        public string Json { get; private set; }

        public override string ToString() { return Json; }
    }

    /// <summary>
    /// The library's one run per process. The library is found, in this order: the path given to
    /// <see cref="Load"/>; the QUORVANE_LIBRARY environment variable; beside the application
    /// (on .NET also the package's runtimes/&lt;rid&gt;/native folder); the loader's search path.
    /// </summary>
    public static class Benchmark
    {
        public const string LibraryName = "morvatic-quorvane-cpu-benchmark";

        /// <summary>The name a loaded library is known by on Linux: the versioned soname.</summary>
        public const string Soname = "libmorvatic-quorvane-cpu-benchmark.so.1";
        public const string EnvironmentVariable = "QUORVANE_LIBRARY";

        /// <summary>How often <see cref="RunAsync(IProgress{RunProgress}, CancellationToken)"/> polls.</summary>
        public static readonly TimeSpan DefaultPollInterval = TimeSpan.FromMilliseconds(100);

        private static readonly object LoadLock = new object();
        private static volatile bool loaded;

        /// <summary>
        /// Loads the library from a path before its first use. Without a call, the first use loads it
        /// from QUORVANE_LIBRARY if that is set, else from the usual places.
        /// </summary>
        public static void Load(string libraryPath)
        {
            if (string.IsNullOrEmpty(libraryPath)) throw new ArgumentException("a path is needed", "libraryPath");
            lock (LoadLock)
            {
                if (loaded) throw new InvalidOperationException("the library is already loaded");
                NativeLoader.Bind(new[] { Path.GetFullPath(libraryPath) });
                loaded = true;
            }
        }

        public static string Version { get { EnsureLoaded(); return Native.Version(); } }

        /// <summary>The reason of the last refused start, or "".</summary>
        public static string LastError { get { EnsureLoaded(); return Native.LastError(); } }

        public static RunState State { get { EnsureLoaded(); return (RunState)Native.State(); } }

        public static int Phase { get { EnsureLoaded(); return Native.Phase(); } }

        public static int Progress { get { EnsureLoaded(); return Native.Progress(); } }

        /// <summary>Starts a run on the library's own thread; throws QuorvaneException with the library's text when refused.</summary>
        public static void Start()
        {
            EnsureLoaded();
            if (Native.Start() != 0)
                throw new QuorvaneException("the library refused to start a run: " + LastError);
        }

        /// <summary>Asks the run in progress to end early; it ends as Cancelled.</summary>
        public static void Cancel()
        {
            EnsureLoaded();
            Native.Cancel();
        }

        /// <summary>The report as the library holds it now; after a run, that run's report.</summary>
        public static Report Results()
        {
            EnsureLoaded();
            return new Report(Native.ResultsJson());
        }

        /// <summary>
        /// Runs the benchmark to the end without blocking the calling thread and returns the finished
        /// run's report. A cancelled token cancels the run, waits for it to close, then throws
        /// OperationCanceledException, as does a run that Cancel() ended; the cancelled run's report
        /// stays readable through <see cref="Results"/>. An exception from the progress handler
        /// cancels and waits the same way before it reaches the caller.
        /// </summary>
        public static Task<Report> RunAsync(IProgress<RunProgress> progress = null,
                                            CancellationToken cancellationToken = default(CancellationToken))
        {
            return RunAsync(progress, cancellationToken, DefaultPollInterval);
        }

        /// <summary>RunAsync polling every pollInterval instead of every 100 ms.</summary>
        public static async Task<Report> RunAsync(IProgress<RunProgress> progress, CancellationToken cancellationToken,
                                                  TimeSpan pollInterval)
        {
            cancellationToken.ThrowIfCancellationRequested();
            Start();
            ExceptionDispatchInfo failure = null;
            try
            {
                await PollUntilClosed(progress, cancellationToken, pollInterval).ConfigureAwait(false);
            }
            catch (Exception e)
            {
                failure = ExceptionDispatchInfo.Capture(e);
            }
            if (failure != null)
            {
                // No run may outlive the call: cancel, wait for the close, then rethrow.
                Cancel();
                while (State == RunState.Running) await Task.Delay(pollInterval).ConfigureAwait(false);
                failure.Throw();
            }
            // A run cancelled through Cancel() rather than the token has no report to return either.
            if (State == RunState.Cancelled) throw new OperationCanceledException("the run was cancelled");
            return Results();
        }

        private static async Task PollUntilClosed(IProgress<RunProgress> progress, CancellationToken cancellationToken,
                                                  TimeSpan pollInterval)
        {
            var last = new RunProgress { Percent = -1, Phase = -1 };
            while (true)
            {
                cancellationToken.ThrowIfCancellationRequested();
                // The state is read first: once it is final, so are phase and progress.
                var state = State;
                var now = new RunProgress { Percent = Progress, Phase = Phase };
                if (progress != null && (now.Percent != last.Percent || now.Phase != last.Phase))
                {
                    progress.Report(now);
                    last = now;
                }
                if (state != RunState.Running) return;
                await Task.Delay(pollInterval, cancellationToken).ConfigureAwait(false);
            }
        }

        private static void EnsureLoaded()
        {
            if (loaded) return;
            lock (LoadLock)
            {
                if (loaded) return;
                var fromEnvironment = Environment.GetEnvironmentVariable(EnvironmentVariable);
                NativeLoader.Bind(string.IsNullOrEmpty(fromEnvironment)
                                      ? NativeLoader.UsualPlaces()
                                      : new[] { Path.GetFullPath(fromEnvironment) });
                loaded = true;
            }
        }

        // The text belongs to the library: copy it, never free it.
        private static string Text(IntPtr text)
        {
            return text == IntPtr.Zero ? string.Empty : Marshal.PtrToStringAnsi(text);
        }

        // Mono binds a P/Invoke when it compiles the method that calls it, so each export is
        // called from a method of its own, never inlined, that is compiled only after
        // EnsureLoaded has bound the module name to the file it loaded (NativeLoader.Bind).
        private static class Native
        {
            [MethodImpl(MethodImplOptions.NoInlining)]
            public static string Version() { return Text(Imports.quorvane_version()); }

            [MethodImpl(MethodImplOptions.NoInlining)]
            public static string LastError() { return Text(Imports.quorvane_last_error()); }

            [MethodImpl(MethodImplOptions.NoInlining)]
            public static int State() { return Imports.quorvane_state(); }

            [MethodImpl(MethodImplOptions.NoInlining)]
            public static int Progress() { return Imports.quorvane_progress(); }

            [MethodImpl(MethodImplOptions.NoInlining)]
            public static int Phase() { return Imports.quorvane_phase(); }

            [MethodImpl(MethodImplOptions.NoInlining)]
            public static void Cancel() { Imports.quorvane_cancel(); }

            [MethodImpl(MethodImplOptions.NoInlining)]
            public static int Start() { return Imports.quorvane_start(); }

            [MethodImpl(MethodImplOptions.NoInlining)]
            public static string ResultsJson() { return Text(Imports.quorvane_results_json()); }
        }

        // The one import set, by module name. Every text result is IntPtr: a string return type
        // would let the marshaller free the library's text.
        private static class Imports
        {
            [DllImport(LibraryName, CallingConvention = CallingConvention.Cdecl)]
            public static extern IntPtr quorvane_version();

            [DllImport(LibraryName, CallingConvention = CallingConvention.Cdecl)]
            public static extern IntPtr quorvane_last_error();

            [DllImport(LibraryName, CallingConvention = CallingConvention.Cdecl)]
            public static extern int quorvane_state();

            [DllImport(LibraryName, CallingConvention = CallingConvention.Cdecl)]
            public static extern int quorvane_progress();

            [DllImport(LibraryName, CallingConvention = CallingConvention.Cdecl)]
            public static extern int quorvane_phase();

            [DllImport(LibraryName, CallingConvention = CallingConvention.Cdecl)]
            public static extern void quorvane_cancel();

            [DllImport(LibraryName, CallingConvention = CallingConvention.Cdecl)]
            public static extern int quorvane_start();

            [DllImport(LibraryName, CallingConvention = CallingConvention.Cdecl)]
            public static extern IntPtr quorvane_results_json();
        }

        // Loads the library from the first place that has it, then makes the imports above bind
        // to that file: on .NET 6+ through the assembly's DllImport resolver, on Mono through a
        // dllmap entry, on .NET Framework because Windows reuses a loaded DLL of the same module
        // name. Nothing found is a QuorvaneException naming every place tried.
        private static class NativeLoader
        {
            private static readonly bool OnWindows = Environment.OSVersion.Platform == PlatformID.Win32NT;

            private const int RtldNow = 2;
            private const int RtldGlobal = 0x100;

            private static string[] FileNames
            {
                get
                {
                    // The NuGet package's asset and a build tree carry the unversioned name, an
                    // installed library its soname.
                    return OnWindows ? new[] { LibraryName + ".dll" }
                                     : new[] { "lib" + LibraryName + ".so", Soname };
                }
            }

            /// <summary>The application's folders, then the bare names for the loader's search path.</summary>
            public static string[] UsualPlaces()
            {
                var folders = new List<string> { AppDomain.CurrentDomain.BaseDirectory };
#if NET6_0_OR_GREATER
                // The host's native search folders: the application's and each package's
                // runtimes/<rid>/native folder that the application's deps.json names.
                var searchFolders = AppContext.GetData("NATIVE_DLL_SEARCH_DIRECTORIES") as string;
                if (searchFolders != null)
                    folders.AddRange(searchFolders.Split(new[] { Path.PathSeparator },
                                                         StringSplitOptions.RemoveEmptyEntries));
#endif
                var assemblyFolder = Path.GetDirectoryName(typeof(Benchmark).Assembly.Location);
                if (!string.IsNullOrEmpty(assemblyFolder)) folders.Add(assemblyFolder);

                var places = new List<string>();
                foreach (var folder in folders)
                    foreach (var name in FileNames)
                    {
                        var place = Path.Combine(Path.GetFullPath(folder), name);
                        if (!places.Contains(place)) places.Add(place);
                    }
                var bareNames = OnWindows ? FileNames : new[] { Soname, "lib" + LibraryName + ".so" };
                places.AddRange(bareNames);
                return places.ToArray();
            }

            public static void Bind(string[] places)
            {
                var tried = new List<string>();
                foreach (var place in places)
                {
                    string failure;
                    var handle = TryLoad(place, out failure);
                    if (handle != IntPtr.Zero)
                    {
                        BindImports(place, handle);
                        return;
                    }
                    tried.Add(Path.IsPathRooted(place) ? place + " (" + failure + ")"
                                                       : place + " on the loader's search path (" + failure + ")");
                }
                throw new QuorvaneException("cannot load the library " + LibraryName + "; tried:" +
                                            Environment.NewLine + "  " +
                                            string.Join(Environment.NewLine + "  ", tried));
            }

#if NET6_0_OR_GREATER
            private static IntPtr TryLoad(string place, out string failure)
            {
                failure = null;
                if (Path.IsPathRooted(place) && !File.Exists(place))
                {
                    failure = "no such file";
                    return IntPtr.Zero;
                }
                try
                {
                    return NativeLibrary.Load(place);
                }
                catch (DllNotFoundException e)
                {
                    failure = e.Message;
                    return IntPtr.Zero;
                }
                catch (BadImageFormatException e)
                {
                    failure = e.Message;
                    return IntPtr.Zero;
                }
            }

            private static void BindImports(string place, IntPtr handle)
            {
                NativeLibrary.SetDllImportResolver(typeof(Benchmark).Assembly,
                    (name, assembly, searchPath) => name == LibraryName ? handle : IntPtr.Zero);
            }
#else
            [DllImport("kernel32", CharSet = CharSet.Unicode, SetLastError = true)]
            private static extern IntPtr LoadLibraryW(string path);

            [DllImport("libdl.so.2")]
            private static extern IntPtr dlopen(string path, int flags);

            [DllImport("libdl.so.2")]
            private static extern IntPtr dlerror();

            // Mono's own embedding interface: a dllmap entry made at run time.
            [DllImport("__Internal")]
            private static extern void mono_dllmap_insert(IntPtr assembly, string dll, string func,
                                                          string targetDll, string targetFunc);

            private static IntPtr TryLoad(string place, out string failure)
            {
                failure = null;
                if (Path.IsPathRooted(place) && !File.Exists(place))
                {
                    failure = "no such file";
                    return IntPtr.Zero;
                }
                return OnWindows ? LoadOnWindows(place, out failure) : LoadWithDlopen(place, out failure);
            }

            [MethodImpl(MethodImplOptions.NoInlining)]
            private static IntPtr LoadOnWindows(string place, out string failure)
            {
                var handle = LoadLibraryW(place);
                failure = handle == IntPtr.Zero ? "error " + Marshal.GetLastWin32Error() : null;
                return handle;
            }

            [MethodImpl(MethodImplOptions.NoInlining)]
            private static IntPtr LoadWithDlopen(string place, out string failure)
            {
                var handle = dlopen(place, RtldNow | RtldGlobal);
                failure = handle == IntPtr.Zero ? Text(dlerror()) : null;
                return handle;
            }

            private static void BindImports(string place, IntPtr handle)
            {
                if (Type.GetType("Mono.Runtime") != null) MapOnMono(place);
                // Elsewhere the loaded module itself is what the imports bind to.
            }

            [MethodImpl(MethodImplOptions.NoInlining)]
            private static void MapOnMono(string place)
            {
                mono_dllmap_insert(IntPtr.Zero, LibraryName, null, place, null);
            }
#endif
        }
    }
}
