#pragma once

class TMainForm;

/// Test-only measurement: with PLATTERLY_STARTUP_TIMING set, prints the wall time from process
/// start to the filled track list ("startup-ms: N rows: R") on stderr once the window is up,
/// and quits when the variable's value is "quit".
void ReportStartupTiming(TMainForm& form);
