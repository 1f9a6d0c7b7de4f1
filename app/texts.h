// SPDX-License-Identifier: GPL-3.0-or-later
// The program's fixed texts, each written once: its title, the words of its options and
// classifications (for the JSON and CSV, captions and report lines), and the references
// of its methods. No file and no system call here, so that every front end can link it.
#pragma once

#include "bayes/bayes_engines.h"

// Character arrays, not std::string: nothing is allocated before main.
extern const char Program_title[];  // "Kestrum.EXE: Bayesian criteria ..."

// A reference of the report: up to three lines, each starting with one space (nullptr
// after the last line).
using tReference = const char* const[3];

// The references of the worksheet's methods (deficit tests, BSDT, effect sizes), always
// listed, and those of the methods that only some analyses use.
extern const tReference kWorksheet_references[3];
extern const tReference kCovariate_reference;       // the test for a deficit allowing for covariates
extern const tReference kBayesian_model_reference;  // Bayesian deficit test, BSDT with covariates
extern const tReference kBayesian_deficit_reference;  // Bayesian deficit test without covariates
extern const tReference kDeficit_effect_reference;  // Z-CC alone, when no difference is tested
extern const tReference kUdt_reference;             // the unstandardized difference test

// ---------------------------------------------------------------------------------------
// Names, each written once. Key is the word of the JSON, the CSV and the command line's
// options; Caption the words in a sentence of a caption or a title; Report_line the line
// of the report.

enum class tClassification { Strong, Classical, Neither };

struct tClassification_words {
  const char* Key;          // "strong"
  const char* Caption;      // "strong dissociation"
  const char* Report_line;  // the report's overall result
};
const tClassification_words& Words(tClassification c);

struct tPrior_words {
  const char* Key;          // "calibrated", "jeffreys"
  const char* Caption;      // "calibrated prior"
  const char* Report_line;  // the option line of the report's inputs
};
const tPrior_words& Words(tPrior p);

enum class tCriteria { Bayesian = 1, Combined = 2 };

struct tCriteria_words {
  const char* Key;             // "bayesian", "combined"
  const char* Caption;         // "Bayesian criteria"
  const char* Long_caption;    // "Combined Bayesian / frequentist criteria"
  const char* Report_line;     // the option line of the report's inputs
  const char* Report_heading;  // the heading of the report's overall result
};
const tCriteria_words& Words(tCriteria c);

enum class tTail { Two, One };

struct tTail_words {
  const char* Key;          // "two", "one"
  const char* Caption;      // "two-tailed"
  const char* Report_line;  // the option line of the report's inputs
};
const tTail_words& Words(tTail t);
