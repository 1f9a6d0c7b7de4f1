// SPDX-License-Identifier: GPL-3.0-or-later
// The control-data file "kestrum.txt": the eight field texts of the last run, each
// followed by one space, on one line with no line end. The six control figures are read
// back when the worksheet opens, so further cases can be run against the same controls.
//
// Only a regular file is read, replaced or deleted. A symbolic link, the file's own or one
// of the folders on its way, is followed only when it belongs to the user running the
// program, or for a folder to root (a link another user put in a shared directory is
// refused, never followed); a
// device, a FIFO, a socket, a directory, a broken or looping link is refused with a message
// naming it. A folder is made only by a save that needs it, and nothing is ever made or
// written in a system directory.
#pragma once

#include <sys/types.h>

#include <array>
#include <string>

#include "app/texts.h"  // Program_title, for the windows' captions

// Character arrays, not std::string: nothing is allocated before main.
extern const char Data_file_name[];  // "kestrum.txt"

// The message of a token that is not a number.
extern const char kInvalid_numeric_input[];

// "UTF-16 is not supported: save the file as UTF-8"
extern const char kUtf16_message[];

// The user the link checks are made for: the process's effective user unless a test
// names another (which makes the test's own links look like another user's).
constexpr uid_t kThis_user = static_cast<uid_t>(-1);

// Where the file lives: $KESTRUM_DATA_FILE when set and not empty; else beside the
// executable when that is a folder of the user's own (Own_program_directory); else
// $XDG_CONFIG_HOME/kestrum/ (default ~/.config/kestrum/). Makes nothing: a missing folder
// is made by the save that needs it. Throws std::runtime_error, saying where it looked and
// what to set, when none of these is usable: nothing is ever put in the current directory.
std::string Data_file_path();

// The places Data_file_path looks at, as found in the environment.
struct tData_file_places {
  std::string Named;        // $KESTRUM_DATA_FILE
  std::string Exe_dir;      // Exe_directory()
  bool Exe_dir_own = false;  // Own_program_directory(Exe_dir)
  std::string Xdg_config;   // $XDG_CONFIG_HOME
  std::string Home;         // $HOME
};

// The choice of Data_file_path from given places (no directory is created). A relative
// $XDG_CONFIG_HOME or $HOME is not used, as the XDG base-directory rules say.
std::string Data_file_path_in(const tData_file_places& places);

// True for "/" and every directory under the system's own prefixes (/usr, /bin, /sbin,
// /lib*, /opt, /etc, /boot, /dev, /proc, /sys, /run, /snap), where packages install
// programs: no control-data file is written there.
bool Is_system_directory(const std::string& dir);

// True when the program's directory may hold the control-data file: an absolute
// directory outside the system prefixes, owned by `user`, writable by it and not by
// everyone (a shared directory such as /tmp is not the program's own folder).
bool Own_program_directory(const std::string& dir, uid_t user = kThis_user);

// The directory of the running executable (from /proc/self/exe), without a final slash;
// empty when unknown.
std::string Exe_directory();

// Writes the eight texts to a temporary file created (exclusively, following no link) in
// the directory of the file itself and renames it over that file, so a failure never
// loses the saved sample. With make_folders, missing folders of the path are made (mode
// 0700), each only outside the system directories; without, a missing folder is an error
// (a file named by the user must be where it was named). Throws std::runtime_error with a readable message on
// failure, and when the path is not a regular file or a missing one (see above) or lies in
// a system directory. A temporary file left by a save that was killed is removed by a
// later save: only a file of the temporary files' own form
// (".kestrum-save-" + 16 hexadecimal digits + ".tmp"), regular, owned by the user,
// unchanged for an hour and not locked (each save holds a lock on its own until it is
// renamed); nothing else is ever removed.
void Save_control_data(const std::string& path, const std::array<std::string, 8>& fields,
                       uid_t user = kThis_user, bool make_folders = false);

// Save_control_data to Data_file_path(), making the folder only for the XDG place
// ($XDG_CONFIG_HOME/kestrum, as the XDG base-directory rules ask of a program writing
// there); a named file's or the program's folder must exist.
void Save_to_data_file(const std::array<std::string, 8>& fields);

struct tLoaded_controls {
  std::array<std::string, 6> Texts;  // formatted for display; empty when not found
  bool Found = false;                // the file existed
  // "Invalid numeric input", a figure that does not fit a field, "UTF-16 ..." (about the
  // contents), or, with File_error, a whole message about the file itself; else empty.
  std::string Error;
  bool File_error = false;
};

// Reads six numbers separated by any white space; a missing number reads as 0; a token
// that is not a number, or a figure that a 6-character field cannot show without
// rounding, ends the load with Error set and the fields read so far kept.
tLoaded_controls Load_control_data(const std::string& path, uid_t user = kThis_user);

// The same from the file's contents (for the loader's tests and its fuzz target).
tLoaded_controls Parse_control_data(const std::string& content);

// Deletes the file (or the user's own link at the path) when it exists. Throws
// std::runtime_error when it exists and is something else, when a folder on its way is a
// link of another user's, or when it cannot be deleted.
void Delete_control_data(const std::string& path, uid_t user = kThis_user);

// The text a field shows for a loaded figure: Format_plain_decimal, with the zero before
// the point dropped when the text would not fit the field otherwise (".99999").
std::string Field_text(double value);

// Plain decimal notation with up to six significant digits, trailing zeros dropped
// (1e-05 gives "0.00001", 1234567 gives "1234570"), so that Read_number accepts it.
std::string Format_plain_decimal(double value);
