#pragma once
// Abbreviated English duration texts: "1h 2m 5s", zero units dropped, "0s" for zero.
// Units: d, h, m, s. Fractions of a second are dropped (3.9 reads "3s"), so a frame's text
// names the whole second it lies in. Negative and non-finite values read as their magnitude
// and "0s" respectively. Any thread.

#include <QString>

QString DurationText(double seconds);
