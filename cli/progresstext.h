#pragma once

#include <QString>

// How kvx-update reads the progress texts of an update run: the same
// judgement as the window, where "Firmware update completed." is success, a
// text beginning "ERROR" is failure, and everything else ("connecting...",
// "Starting...", "Sending... 37%", "Retry: ...", "Writing") means the unit is
// still being worked on.
namespace ProgressText {

enum Kind { Working, Succeeded, Failed };

Kind classify(const QString &text);

// The percentage a "Sending... 37%" or "Retry: ..." text carries: the last
// number directly followed by "%"; -1 when there is none.
int percent(const QString &text);

// True for the texts of the transfer proper, from "Starting..." to "Writing":
// the unit is logged in and the image is on its way.
bool isTransferText(const QString &text);

} // namespace ProgressText
