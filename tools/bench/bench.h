// What the benchmark measures; each prints its figures.
#pragma once

#include <string>
#include <vector>

// The platform calls of one load, save and signal, as the COREDLL stand-in
// journals them.
int CountPlatformCalls();

// Opens each applet ("FILE.cpl,N") `rounds` times, taking turns, and prints
// how long each took from CPL_DBLCLK until its dialog showed.
int TimeOpens(const std::vector<std::wstring>& applets, int rounds);

// Times each step of the applet's own dialog procedure and store, and its
// answer to a second CPL_DBLCLK, `rounds` times, and prints the mean of each.
int TimeParts(int rounds);

// Counts what the ARM image's operations cost on the handheld's ARM core,
// prints the figures and, with a budget file, checks them against it.
int CountArmCosts(const char* budget);

// Prints the memory the ARM core adds to the host process.
int MeasureArmMemory();
