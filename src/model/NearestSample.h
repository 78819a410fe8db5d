#pragma once
#include <cstddef>
#include <cstdint>

// The sample nearest to minute t of a day curve, searched over the sample
// time stamps (milliseconds of the tick counter, index 0 = the curve's first
// sample). Shared by the power curve chart and the spreadsheet export so both
// agree on which record a minute means.
//
// Returns -1 ("none") with fewer than two samples, when t <= 0, or when t is
// not below the minute of the last sample. Otherwise the nearer of the two
// samples whose times bracket t; on a tie, the later one.
int FindNearestSample(const std::uint32_t* times, std::size_t count, double t);

// Minute of sample i after the first: the tick difference is taken in
// unsigned 32-bit arithmetic, so one wrap of the counter is harmless.
double SampleMinute(const std::uint32_t* times, std::size_t i);
