// Every text the tool shows or logs, in one place, readable as UTF-8.
//
// The console writes them as Shift-JIS bytes (or UTF-8 on a UTF-8 terminal),
// the run log always as Shift-JIS; see text/encoding.hpp. A text is written in
// pieces around its values: the names below end where a value is inserted.
#pragma once

#include <string_view>

namespace dorvenk::text {

// Start-up banner.
inline constexpr std::string_view banner =
    "********* Dorvenk ver1.0 *********\n"
    "[ Use     : Daubechies Wavelet ]\n"
    "[ Max Data: 32768              ]\n"
    "[ Max  N  : 100                ]\n";

// File prompt.
inline constexpr std::string_view file_prompt = "\nPlease Input Filename\n >";
inline constexpr std::string_view missing_file_before = "\aファイル[ ";   // data file name
inline constexpr std::string_view missing_file_after = " ]は存在しません。\n";

// Data intake.
inline constexpr std::string_view data_over = "\adata over! [Max ";             // 32768
inline constexpr std::string_view data_over_after = "]\n";
inline constexpr std::string_view data_error = "\adata error! [line ";          // line
inline constexpr std::string_view data_error_middle = ": ";                      // text
inline constexpr std::string_view data_error_after = "]\n";
inline constexpr std::string_view data_empty = "\adata empty!\n";
inline constexpr std::string_view count_label = "データ数=";                    // n
inline constexpr std::string_view mean_label = "平均=";                         // mean
inline constexpr std::string_view sd_label = ", 標準偏差=";                     // sd

// Parameter dialogue.
inline constexpr std::string_view order_prompt = "N=";
inline constexpr std::string_view order_refused = "\a[ 1～";                    // 100
inline constexpr std::string_view order_refused_after = "]\n";
inline constexpr std::string_view coefficient_prompt = "p[";                    // %2d
inline constexpr std::string_view coefficient_prompt_after = "]=";
inline constexpr std::string_view number_refused = "\a[number]\n";
inline constexpr std::string_view known_question = "ノイズの標準偏差は判っていますか？ [yes/no]\n";
inline constexpr std::string_view estimate_question = "ノイズの標準偏差の推定を行いますか？ [yes/no]\n";
inline constexpr std::string_view answer_prompt = " >";
inline constexpr std::string_view yes_no_refused = "\a[yes or no]\n";
inline constexpr std::string_view noise_prompt = "ノイズの標準偏差=";
inline constexpr std::string_view noise_label = "ノイズの標準偏差=";            // sd
inline constexpr std::string_view estimated_mark = " (推定)\n";
inline constexpr std::string_view hard_threshold_line = "縮退しきい値はハードスレッショルドで選定します。\n";
inline constexpr std::string_view threshold_label = "縮退しきい値=";            // threshold
inline constexpr std::string_view level_prompt = "最大多重変換レベル=";
inline constexpr std::string_view level_refused = "\a[ 1～";                    // level_limit
inline constexpr std::string_view level_refused_after = " ]\n";
inline constexpr std::string_view input_ended = "\ainput ended!\n";

// Failures of files other than the data file at the prompt.
inline constexpr std::string_view file_error = "\afile error! [";              // name
inline constexpr std::string_view file_error_middle = ": ";                     // reason
inline constexpr std::string_view file_error_after = "]\n";
inline constexpr std::string_view log_warning = "\alog warning! [";            // name
inline constexpr std::string_view log_warning_middle = ": ";                    // reason
inline constexpr std::string_view log_not_opened = "] no record written\n";
inline constexpr std::string_view log_not_written = "] record may be incomplete\n";

// Engine.
inline constexpr std::string_view ratio_label = "ratio >> ";                    // zeroed/n

// Completion.
inline constexpr std::string_view done = "\a[完了]\nOutputfile > [ ";         // result file
inline constexpr std::string_view done_after = " ]\n";

// Run log record.
inline constexpr std::string_view log_input_file = "Inputfile [ ";
inline constexpr std::string_view log_input_file_after = " ]\n";
inline constexpr std::string_view log_count = "データ数=";
inline constexpr std::string_view log_mean = "平均=";
inline constexpr std::string_view log_sd = ", 標準偏差=";
inline constexpr std::string_view log_order = "次数N=";
inline constexpr std::string_view log_noise = "ノイズの標準偏差=";
inline constexpr std::string_view log_estimated = " (推定)";
inline constexpr std::string_view log_threshold = "縮退しきい値=";
inline constexpr std::string_view log_hard_threshold = " [Hard-th.]";
inline constexpr std::string_view log_level = "多重解像度レベル=";
inline constexpr std::string_view log_output_file = "Outputfile[ ";
inline constexpr std::string_view log_output_file_after = " ]\n\n";

}  // namespace dorvenk::text
