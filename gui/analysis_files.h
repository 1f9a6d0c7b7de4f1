// SPDX-License-Identifier: GPL-3.0-or-later
// "Save Analysis..." and "Open Analysis..." of the worksheet and the toolkit's windows:
// the file dialogs, the file's bytes and the message boxes. What the file holds and
// whether it can be opened are the core's (app/analysis_file.h).
#pragma once

#include <QString>
#include <optional>

#include "app/analysis_file.h"

class QWidget;

// Asks for a file name and writes the analysis there (to a temporary file renamed over
// the name when the whole text is written). The JSON text written, or nullopt when the
// user cancelled or the write failed (an error box says why).
std::optional<std::string> Save_analysis_file(QWidget* parent, const tAnalysis_file& analysis);

// Asks for a file and reads it as an analysis of that kind; nullopt when the user
// cancelled, or the file could not be read or opened as such (a warning box says why).
std::optional<tAnalysis_file> Open_analysis_file(QWidget* parent, tAnalysis_kind kind);
