#pragma once
// The daily run's time as a systemd calendar event, for the timer that runs the update instead of
// the window or --headless: the package's generator writes the timer's schedule from it, so the
// hour is set in setup.ini only.

#include <QString>

// "*-*-* HH:05:00" for [set] godzina of setup.ini beside the program, read as the form reads it at
// start; empty when the value is no hour 0..23, at which the daily trigger never fires.
QString ConfiguredSchedule();

// --print-schedule: that schedule on standard output, exit status 0; a value that is no hour is
// reported on standard error with exit status 1 and nothing on standard output.
int PrintSchedule();
