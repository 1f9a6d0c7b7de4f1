#include "cli/cli_run.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <fstream>
#include <mutex>
#include <new>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>

#include "app/control_data.h"
#include "app/report.h"
#include "app/text_format.h"
#include "cli/batch_csv.h"
#include "cli/cli_args.h"

namespace {

std::string Num(Extended value) { return Format_g17(static_cast<double>(value)); }
std::string Bool(bool value) { return value ? "true" : "false"; }

const char* Criteria_name(tCriteria c) { return c == tCriteria::Combined ? "combined" : "bayesian"; }
const char* Tail_name(tTail t) { return t == tTail::One ? "one" : "two"; }
const char* Prior_name(tPrior p) { return p == tPrior::Standard ? "jeffreys" : "calibrated"; }

std::string Deficit_json(const tDeficit_results& d, std::int32_t df, bool deficit) {
  return "{\"t_value\": " + Num(d.T_value) + ", \"df\": " + std::to_string(df) +
         ", \"p_one_tailed\": " + Num(d.P_one_tailed) + ", \"p_two_tailed\": " +
         Num(d.P_two_tailed) + ", \"pct_below\": " + Num(d.Pct_below) + ", \"pct_lower\": " +
         Num(d.Pct_lower) + ", \"pct_upper\": " + Num(d.Pct_upper) + ", \"zcc\": " +
         Num(d.Zcc) + ", \"zcc_lower\": " + Num(d.Zcc_lower) + ", \"zcc_upper\": " +
         Num(d.Zcc_upper) + ", \"deficit\": " + Bool(deficit) + "}";
}

// A message in one line, for a CSV cell.
std::string One_line(const std::string& message) {
  std::string out;
  for (char c : message) {
    if (c == '\r' || c == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

// What one case of a run produced.
struct tCase_outcome {
  bool Computed = false;
  tRun_results Results;
  int Status = kExit_success;  // kExit_input or kExit_computation on failure
  std::string Error;
  std::vector<std::string> Warnings;
};

// Checks and computes one case; the warnings of the statistics are collected for it.
// Nothing here touches the control-data file.
tCase_outcome Run_case(const std::array<std::string, 8>& fields, const tRun_options& options) {
  tCase_outcome outcome;
  const auto checked = Check_inputs(fields, options);
  if (const auto* error = std::get_if<tInput_error>(&checked)) {
    outcome.Status = kExit_input;
    outcome.Error = error->Message;
    return outcome;
  }
  Set_warning_hook([&outcome](const std::string& w) { outcome.Warnings.push_back(w); });
  try {
    outcome.Results = Compute_analysis(std::get<tChecked_inputs>(checked), options);
    outcome.Computed = true;
  } catch (const std::bad_alloc&) {
    outcome.Status = kExit_computation;
    outcome.Error = "Not enough memory for " + std::to_string(options.Iterations) +
                    " Monte Carlo iterations.";
  } catch (const std::exception& e) {
    outcome.Status = kExit_computation;
    outcome.Error = e.what();
  }
  Set_warning_hook(nullptr);
  return outcome;
}

// Fills the six control texts from the control-data file; false with a message when the
// file is missing or unreadable.
bool Load_controls(std::array<std::string, 8>& fields, std::string& message) {
  const std::string path = Data_file_path();
  const tLoaded_controls loaded = Load_control_data(path);
  if (!loaded.Found) {
    message = "No control data: the control-data file " + path +
              " does not exist (save one with --save-controls).";
    return false;
  }
  if (!loaded.Error.empty()) {
    message = "Cannot read the control data from " + path + ": " + loaded.Error;
    return false;
  }
  for (std::size_t i = 0; i < 6; ++i) fields[i] = loaded.Texts[i];
  return true;
}

void Print_warnings(std::ostream& err, const std::vector<std::string>& warnings,
                    const std::string& prefix) {
  for (const std::string& w : warnings) err << "kestrum-cli: " << prefix << "warning: " << w << '\n';
}

int Run_single(const tCli_options& o, std::array<std::string, 8> fields, std::ostream& out,
               std::ostream& err) {
  // The worksheet's order: the checks, then the file, then the computation.
  const auto checked = Check_inputs(fields, o.Run);
  if (const auto* error = std::get_if<tInput_error>(&checked)) {
    err << Message_for_terminal(error->Message) << '\n';
    return kExit_input;
  }
  if (o.Save_controls) {
    try {
      Save_control_data(Data_file_path(), fields);
    } catch (const std::exception& e) {
      err << e.what() << '\n';
      return kExit_computation;
    }
  }
  const tCase_outcome outcome = Run_case(fields, o.Run);
  Print_warnings(err, outcome.Warnings, "");
  if (!outcome.Computed) {
    err << Message_for_terminal(outcome.Error) << '\n';
    return outcome.Status;
  }
  if (o.Format == tOutput_format::Json) {
    out << Results_json(outcome.Results) << '\n';
  } else {
    for (const std::string& line : Report_lines(outcome.Results, o.Run, o.Notes_lines, false)) {
      out << line << '\n';
    }
  }
  return kExit_success;
}

const char* const kCsv_result_columns =
    "z_x,z_y,"
    "x_t_value,x_df,x_p_one_tailed,x_p_two_tailed,x_pct_below,x_pct_lower,x_pct_upper,"
    "x_zcc,x_zcc_lower,x_zcc_upper,x_deficit,"
    "y_t_value,y_df,y_p_one_tailed,y_p_two_tailed,y_pct_below,y_pct_lower,y_pct_upper,"
    "y_zcc,y_zcc_lower,y_zcc_upper,y_deficit,"
    "bsdt_p_one_tailed,bsdt_p_two_tailed,bsdt_pct_more_extreme,bsdt_pct_lower,bsdt_pct_upper,"
    "bsdt_zdcc,bsdt_zdcc_lower,bsdt_zdcc_upper,bsdt_significant,"
    "rsdt_t_value,rsdt_df,rsdt_p_one_tailed,rsdt_p_two_tailed,rsdt_significant,"
    "classification";
constexpr int kCsv_result_count = 39;

std::string Csv_results(const tRun_results& r) {
  const std::int32_t df = r.Inputs.N - 1;
  std::string row = Num(r.Z_x) + "," + Num(r.Z_y);
  const auto deficit = [&](const tDeficit_results& d, bool flag) {
    row += "," + Num(d.T_value) + "," + std::to_string(df) + "," + Num(d.P_one_tailed) + "," +
           Num(d.P_two_tailed) + "," + Num(d.Pct_below) + "," + Num(d.Pct_lower) + "," +
           Num(d.Pct_upper) + "," + Num(d.Zcc) + "," + Num(d.Zcc_lower) + "," +
           Num(d.Zcc_upper) + "," + Bool(flag);
  };
  deficit(r.Deficit_x_results, r.Deficit_x);
  deficit(r.Deficit_y_results, r.Deficit_y);
  const tBSDT_results& b = r.Bsdt;
  row += "," + Num(b.P_one_tailed) + "," + Num(b.P_two_tailed) + "," + Num(b.Pct_more_extreme) +
         "," + Num(b.Pct_lower) + "," + Num(b.Pct_upper) + "," + Num(b.Zdcc) + "," +
         Num(b.Zdcc_lower) + "," + Num(b.Zdcc_upper) + "," + Bool(r.Bsdt_significant);
  if (r.Rsdt_computed) {
    row += "," + Num(r.Rsdt_t) + "," + std::to_string(df) + "," + Num(r.Rsdt_p_one_tailed) +
           "," + Num(r.Rsdt_p_two_tailed) + "," + Bool(r.Rsdt_significant);
  } else {
    row += ",,,,,";
  }
  row += "," + Classification(r);
  return row;
}

int Run_batch(const tCli_options& o, std::array<std::string, 8> controls, std::ostream& out,
              std::ostream& err, bool progress) {
  std::ifstream in(o.Batch_file, std::ios::binary);
  if (!in) {
    err << "Cannot read the case file " << o.Batch_file << '\n';
    return kExit_input;
  }
  std::ostringstream content;
  content << in.rdbuf();
  const auto parsed = Read_batch_csv(content.str());
  if (const auto* message = std::get_if<std::string>(&parsed)) {
    err << "The case file " << o.Batch_file << " cannot be used: " << *message << '\n';
    return kExit_input;
  }
  const std::vector<tBatch_row>& rows = std::get<tBatch_table>(parsed).Rows;

  // The control sample is the same for every case: check it once, with placeholder case
  // scores, so that a bad control figure is reported once and nothing is computed.
  std::array<std::string, 8> probe = controls;
  probe[6] = probe[7] = "0";
  const auto probe_checked = Check_inputs(probe, o.Run);
  if (const auto* error = std::get_if<tInput_error>(&probe_checked);
      error != nullptr && error->Field < 6) {
    err << Message_for_terminal(error->Message) << '\n';
    return kExit_input;
  }
  if (o.Save_controls) {
    std::array<std::string, 8> saved = controls;
    saved[6] = saved[7] = "";
    try {
      Save_control_data(Data_file_path(), saved);
    } catch (const std::exception& e) {
      err << e.what() << '\n';
      return kExit_computation;
    }
  }

  // Cases on all cores. The generator's seeds and the integration state are per thread
  // and every engine resets its seeds, so each case gives the numbers of its single run.
  std::vector<tCase_outcome> outcomes(rows.size());
  std::atomic<std::size_t> next{0};
  std::size_t done = 0;
  std::mutex progress_mutex;
  const auto worker = [&] {
    for (std::size_t i = next++; i < rows.size(); i = next++) {
      std::array<std::string, 8> fields = controls;
      fields[6] = rows[i].Case_x;
      fields[7] = rows[i].Case_y;
      outcomes[i] = Run_case(fields, o.Run);
      if (progress) {
        std::lock_guard<std::mutex> lock(progress_mutex);
        ++done;
        err << "\rkestrum-cli: " << done << " of " << rows.size() << " cases done" << std::flush;
      }
    }
  };
  const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1,
                                                      std::max<std::size_t>(rows.size(), 1));
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;  // fewer threads: the cases left are taken by those running
    }
  }
  worker();
  for (std::thread& t : pool) t.join();
  if (progress && !rows.empty()) err << '\n';

  int status = kExit_success;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Print_warnings(err, outcomes[i].Warnings, "case " + rows[i].Id + ": ");
    status = std::max(status, outcomes[i].Status);
  }

  if (o.Format == tOutput_format::Json) {
    out << "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const tCase_outcome& c = outcomes[i];
      out << (i == 0 ? "\n" : ",\n") << "{\"id\": " << Json_string(rows[i].Id)
          << ", \"case_x\": " << Json_string(rows[i].Case_x)
          << ", \"case_y\": " << Json_string(rows[i].Case_y) << ", \"error\": "
          << (c.Computed ? "null" : Json_string(One_line(c.Error))) << ", \"results\": "
          << (c.Computed ? Results_json(c.Results) : "null") << "}";
    }
    out << "\n]\n";
  } else {
    out << "id,case_x,case_y," << kCsv_result_columns << ",error\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const tCase_outcome& c = outcomes[i];
      out << Csv_field(rows[i].Id) << ',' << Csv_field(rows[i].Case_x) << ','
          << Csv_field(rows[i].Case_y) << ',';
      if (c.Computed) {
        out << Csv_results(c.Results) << ",";
      } else {
        out << std::string(kCsv_result_count - 1, ',') << "," << Csv_field(One_line(c.Error));
      }
      out << '\n';
    }
  }
  return status;
}

}  // namespace

std::string Classification(const tRun_results& r) {
  return r.Strong ? "strong" : r.Classical ? "classical" : "neither";
}

std::string Message_for_terminal(const std::string& message) {
  std::string out = message;
  std::replace(out.begin(), out.end(), '\r', '\n');
  return out;
}

std::string Json_string(const std::string& text) {
  std::string out = "\"";
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      static const char* hex = "0123456789abcdef";
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 15];
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // A well-formed UTF-8 sequence is copied; anything else becomes U+FFFD.
      std::size_t len = (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                        : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
      bool ok = len != 0 && i + len <= n;
      for (std::size_t k = 1; ok && k < len; ++k) ok = (s[i + k] & 0xC0) == 0x80;
      if (ok && len == 3) {
        ok = !(c == 0xE0 && s[i + 1] < 0xA0) && !(c == 0xED && s[i + 1] > 0x9F);
      }
      if (ok && len == 4) {
        ok = !(c == 0xF0 && s[i + 1] < 0x90) && !(c == 0xF4 && s[i + 1] > 0x8F);
      }
      if (ok) {
        out.append(text, i, len);
        i += len;
      } else {
        out += "\\ufffd";
        ++i;
      }
    }
  }
  out += '"';
  return out;
}

std::string Results_json(const tRun_results& r) {
  const tChecked_inputs& in = r.Inputs;
  const std::int32_t df = in.N - 1;
  std::string json = "{\"inputs\": {\"mean_x\": " + Num(in.Mean_x) + ", \"sd_x\": " +
                     Num(in.Sd_x) + ", \"mean_y\": " + Num(in.Mean_y) + ", \"sd_y\": " +
                     Num(in.Sd_y) + ", \"r\": " + Num(in.R_xy) + ", \"n\": " +
                     std::to_string(in.N) + ", \"case_x\": " + Num(in.Case_x) +
                     ", \"case_y\": " + Num(in.Case_y) + ", \"criteria\": \"" +
                     Criteria_name(r.Options.Criteria) + "\", \"tail\": \"" +
                     Tail_name(r.Options.Tail) + "\", \"prior\": \"" +
                     Prior_name(r.Options.Prior) + "\", \"iterations\": " +
                     std::to_string(r.Options.Iterations) + "}";
  json += ", \"z_x\": " + Num(r.Z_x) + ", \"z_y\": " + Num(r.Z_y);
  json += ", \"deficit_x\": " + Deficit_json(r.Deficit_x_results, df, r.Deficit_x);
  json += ", \"deficit_y\": " + Deficit_json(r.Deficit_y_results, df, r.Deficit_y);
  const tBSDT_results& b = r.Bsdt;
  json += ", \"bsdt\": {\"p_one_tailed\": " + Num(b.P_one_tailed) + ", \"p_two_tailed\": " +
          Num(b.P_two_tailed) + ", \"pct_more_extreme\": " + Num(b.Pct_more_extreme) +
          ", \"pct_lower\": " + Num(b.Pct_lower) + ", \"pct_upper\": " + Num(b.Pct_upper) +
          ", \"zdcc\": " + Num(b.Zdcc) + ", \"zdcc_lower\": " + Num(b.Zdcc_lower) +
          ", \"zdcc_upper\": " + Num(b.Zdcc_upper) + ", \"significant\": " +
          Bool(r.Bsdt_significant) + "}";
  if (r.Rsdt_computed) {
    json += ", \"rsdt\": {\"t_value\": " + Num(r.Rsdt_t) + ", \"df\": " + std::to_string(df) +
            ", \"p_one_tailed\": " + Num(r.Rsdt_p_one_tailed) + ", \"p_two_tailed\": " +
            Num(r.Rsdt_p_two_tailed) + ", \"significant\": " + Bool(r.Rsdt_significant) + "}";
  } else {
    json += ", \"rsdt\": null";
  }
  json += ", \"classification\": \"" + Classification(r) + "\"}";
  return json;
}

int Run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progress) {
  const auto parsed = Parse_arguments(args);
  if (const auto* usage = std::get_if<tUsage_error>(&parsed)) {
    err << "kestrum-cli: " << usage->Message << "\nTry 'kestrum-cli --help'.\n";
    return kExit_usage;
  }
  const tCli_options& o = std::get<tCli_options>(parsed);
  if (o.Mode == tCli_mode::Help) {
    out << Usage_text();
    return kExit_success;
  }
  std::array<std::string, 8> fields = o.Fields;
  if (o.Use_controls) {
    std::string message;
    if (!Load_controls(fields, message)) {
      err << message << '\n';
      return kExit_input;
    }
  }
  if (o.Mode == tCli_mode::Batch) return Run_batch(o, fields, out, err, progress);
  return Run_single(o, fields, out, err);
}
