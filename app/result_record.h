// SPDX-License-Identifier: GPL-3.0-or-later
// The table of named figures that an analysis returns, and the names of its options and
// classifications, each written once.
//
// A table holds every scalar figure of a run, inputs and options included, in the order
// in which the outputs present them. Each figure has
//   Name   unique in the table, lower case with underscores ("x_t_value"); the command
//          line's CSV column of the figure has this name;
//   Group  the part of the run it belongs to ("inputs", "deficit_x", "bsdt", "rsdt", or
//          "" for the run as a whole); the JSON object that holds it;
//   Key    its name within the group ("t_value"); the JSON key;
//   Kind   what sort of number or word it is (a probability, a percentage, ...);
//   Unit   "%" for percentages, "SD" for scores in standard deviations of the controls,
//          "score" for a task's raw scores, "" for none;
//   Value  a number (Extended), a whole number, a flag, a word, or nothing: a figure
//          that this run did not compute (the RSDT under the Bayesian criteria) keeps its
//          place with no value.
// The report, the JSON and CSV of the command line, the captions of the plots and any
// later front end read the figures from the table, by name or in order, and so never
// recompute one. A new analysis describes its results the same way: it fills a table
// with its own groups and names, and the generic writers lay it out. What is not one
// number or word (the histogram of the BSDT's draws) stays in the record's typed part.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/texts.h"
#include "bayes/bayes_engines.h"

enum class tFigure_kind {
  Input,               // a figure the user gave
  Option,              // a choice of how the run was made
  Z_score,             // a score in standard deviations of the controls
  Statistic,           // a test statistic (t)
  Degrees_of_freedom,  // whole number
  Probability,         // in [0, 1]
  Percentage,          // in [0, 100]
  Effect_size,         // Z-CC, Z-DCC and their limits
  Standard_error,      // Monte Carlo standard error of a probability
  Flag,                // a criterion met or not
  Word                 // a classification
};

// Nothing (not computed in this run), a number, a whole number, a flag or a word.
using tFigure_value = std::variant<std::monostate, Extended, std::int64_t, bool, std::string>;

struct tFigure {
  std::string Name;
  std::string Group;
  std::string Key;
  tFigure_kind Kind = tFigure_kind::Statistic;
  std::string Unit;
  tFigure_value Value;
  // For an input typed as text: the decimals the text had (-1 for none known), so that a
  // reader can show the figure as it was given.
  int Text_decimals = -1;
  // A figure added after outputs with fixed columns were laid out: such an output puts
  // it after every earlier column, so that scripts that read those keep working.
  bool Added_later = false;
};

class tFigure_table {
 public:
  std::vector<tFigure> Figures;

  // Appends a figure. Raises std::logic_error when the name is already taken.
  tFigure& Add(std::string group, std::string key, std::string name, tFigure_kind kind,
               std::string unit, tFigure_value value);

  // The figure of that name, or nullptr.
  const tFigure* Find(const std::string& name) const;
  // The figure of that name; raises std::out_of_range when there is none.
  const tFigure& At(const std::string& name) const;
  // Its value as a number (a whole number converted), a whole number, a flag or a word;
  // each raises std::out_of_range when the figure is missing or holds another sort.
  Extended Number(const std::string& name) const;
  std::int64_t Whole(const std::string& name) const;
  bool Flag(const std::string& name) const;
  const std::string& Word(const std::string& name) const;
  // True when the figure exists and holds a value.
  bool Has_value(const std::string& name) const;
};
