#pragma once
#include <string>

// Axis arithmetic of the power curve chart, kept free of drawing so it can be
// checked on its own.

// A tick step for an axis from min to max: about ten ticks, the step being 1,
// 1.5, 2, 2.5 or 5 times a power of ten, and the printf format ("%3.1f") that
// shows a tick value with as many decimals as the step needs.
struct SRoundedStep {
    double dStep = 1.0;
    int nDecimals = 0;
    std::string strFormat;
};

// Requires max > min (the chart never keeps an empty range).
SRoundedStep RoundedStep(double dMin, double dMax);

// Step of the time axis in minutes: the rounded step, cut down to whole hours
// when it exceeds an hour.
double TimeAxisStep(double dMinMinute, double dMaxMinute);

// The C cast to int (the fraction dropped), saturated at +-1e9 so that absurd
// values (a huge reading, a sample far outside the shown range) stay defined.
// NaN gives 0.
int TruncToInt(double d);
