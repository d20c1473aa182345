// The job engine: filled in by the runner.
