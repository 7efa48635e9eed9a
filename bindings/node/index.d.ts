/** The report's nine members; every value is a whole number. */
export interface Report {
  score_single: number;
  score_multi: number;
  int_single_mops: number;
  int_multi_mops: number;
  fp_single_mflops: number;
  fp_multi_mflops: number;
  mem_bandwidth_mbps: number;
  threads_used: number;
  duration_ms: number;
}

export interface RunProgress {
  /** Percent done: 0, 2, 20, 40, 60, 80 or 100. */
  percent: number;
  /** The phase now running, 1 to 5, or 0 when none runs. */
  phase: number;
}

export interface RunOptions {
  /** Called whenever the percent or the phase changes. */
  onProgress?: (progress: RunProgress) => void;
  /** Aborting it cancels the run; run() then rejects with an AbortError. */
  signal?: AbortSignal;
  /** The poll interval in milliseconds; 100 by default. */
  pollMs?: number;
}

/** The AbortError that run() rejects with; its cause is the cancelled run's report. */
export interface AbortError extends Error {
  name: 'AbortError';
  code: 'ABORT_ERR';
  /** Undefined when the signal was aborted before the run started. */
  cause?: Report;
}

/** The library could not be loaded, or it refused to start a run. */
export class QuorvaneError extends Error {
  constructor(message: string);
  name: 'QuorvaneError';
}

export class Quorvane {
  /**
   * Loads the library from libraryPath, else from QUORVANE_LIBRARY, else from
   * beside the application's main script, else by file name through the
   * loader's search path.
   */
  constructor(libraryPath?: string);
  /** The path or file name the library was loaded from. */
  readonly path: string;
  readonly version: string;
  /** The reason of the last refused start, or ''. */
  readonly lastError: string;
  /** 0 idle, 1 running, 2 finished, 3 cancelled. */
  readonly state: 0 | 1 | 2 | 3;
  readonly phase: number;
  readonly progress: number;
  /** Throws QuorvaneError with the library's text when refused. */
  start(): void;
  cancel(): void;
  results(): Report;
  /** Resolves with the report of a finished run; see RunOptions and AbortError. */
  run(options?: RunOptions): Promise<Report>;
}

export const STATE: Readonly<{ IDLE: 0; RUNNING: 1; FINISHED: 2; CANCELLED: 3 }>;
export const PHASE_NAMES: Readonly<Record<number, string>>;
export const ENVIRONMENT_VARIABLE: 'QUORVANE_LIBRARY';
export const DEFAULT_POLL_MS: number;
export function libraryFileName(platform?: string): string;
export function defaultLibraryPath(): string;
/** The package's prebuilt library for a platform and architecture; null when the package has no prebuilds. */
export function prebuiltLibraryPath(platform?: string, arch?: string, prebuildsDir?: string): string | null;
