// SPDX-License-Identifier: GPL-3.0-or-later
// The control-data file "kestrum.txt": the eight field texts of the last run, each
// followed by one space, on one line with no line end. The six control figures are read
// back when the worksheet opens, so further cases can be run against the same controls.
#pragma once

#include <array>
#include <string>

extern const std::string Program_title;   // "Kestrum.EXE: Bayesian criteria ..."
extern const std::string Data_file_name;  // "kestrum.txt"

// The message of a token that is not a number.
extern const std::string kInvalid_numeric_input;

// Where the file lives: $KESTRUM_DATA_FILE when set and not empty; else beside the
// executable when that directory is writable; else $XDG_CONFIG_HOME/kestrum/ (default
// ~/.config/kestrum/), created when missing. Throws std::runtime_error, saying where it
// looked and what to set, when none of these is usable: nothing is ever put in the
// current directory.
std::string Data_file_path();

// The places Data_file_path looks at, as found in the environment.
struct tData_file_places {
  std::string Named;       // $KESTRUM_DATA_FILE
  std::string Exe_dir;     // Exe_directory()
  bool Exe_dir_writable = false;
  std::string Xdg_config;  // $XDG_CONFIG_HOME
  std::string Home;        // $HOME
};

// The choice of Data_file_path from given places (no directory is created). A relative
// $XDG_CONFIG_HOME or $HOME is not used, as the XDG base-directory rules say.
std::string Data_file_path_in(const tData_file_places& places);

// The directory of the running executable (from /proc/self/exe), without a final slash;
// empty when unknown.
std::string Exe_directory();

// Writes the eight texts to a temporary file in the same directory and renames it over
// the old file, so a failure never loses the saved sample. Throws std::runtime_error with
// a readable message on failure. A temporary file left by a save that was killed is
// removed by the next save (each save holds a lock on its own until it is renamed).
void Save_control_data(const std::string& path, const std::array<std::string, 8>& fields);

struct tLoaded_controls {
  std::array<std::string, 6> Texts;  // formatted for display; empty when not found
  bool Found = false;                // the file existed
  std::string Error;                 // "Invalid numeric input" or a read error; else empty
};

// Reads six numbers separated by any white space; a missing number reads as 0; a token
// that is not a number ends the load with Error set and the fields read so far kept.
tLoaded_controls Load_control_data(const std::string& path);

// The same from the file's contents (for the loader's tests and its fuzz target).
tLoaded_controls Parse_control_data(const std::string& content);

// Deletes the file when it exists. Throws std::runtime_error when it exists and cannot be
// deleted.
void Delete_control_data(const std::string& path);

// Plain decimal notation with up to six significant digits, trailing zeros dropped
// (1e-05 gives "0.00001", 1234567 gives "1234570"), so that Read_number accepts it.
std::string Format_plain_decimal(double value);
