// Every text the tool shows or logs, each one whole, readable as UTF-8.
//
// Each text is a template (text/template.hpp) whose placeholders name the
// values put in when it is written. The console writes the texts as
// Shift-JIS bytes, or as UTF-8 on a terminal (console/terminal.hpp); the
// run log always as Shift-JIS, see text/encoding.hpp. The result file's
// texts are ASCII.
//
// The list below is the only place a text is defined: it makes one
// constant per text and the array ALL_TEXTS, which the tests walk to check
// that every text has its Shift-JIS bytes.
#pragma once

#include "text/template.hpp"

// X(name, text) for every text of the tool.
#define DORVENK_TEXTS(X)                                                                    \
  /* Start-up banner. */                                                                    \
  X(banner,                                                                                 \
    "********* Dorvenk ver1.0 *********\n"                                                  \
    "[ Use     : Daubechies Wavelet ]\n"                                                    \
    "[ Max Data: 32768              ]\n"                                                    \
    "[ Max  N  : 100                ]\n")                                                   \
  /* File prompt. */                                                                        \
  X(file_prompt, "\nPlease Input Filename\n >")                                             \
  X(missing_file, "\aファイル[ {file} ]は存在しません。\n")                                 \
  X(same_file, "\asame file! [{result} is {data}]\n")                                       \
  /* Data intake and summary. */                                                            \
  X(data_over, "\adata over! [Max {max}]\n")                                                \
  X(data_error, "\adata error! [line {line}: {word}]\n")                                    \
  X(data_empty, "\adata empty!\n")                                                          \
  /* Console summary and run log alike. */                                                  \
  X(count_line, "データ数={n}\n")                                                           \
  X(mean_sd_line, "平均={mean:.6G}, 標準偏差={sd:.6G}\n")                                   \
  /* Parameter dialogue. */                                                                 \
  X(order_prompt, "N=")                                                                     \
  X(order_refused, "\a[ 1～{max}]\n")                                                       \
  X(coefficient_prompt, "p[{k:2d}]=")                                                       \
  /* A coefficient or the noise level that is not a number: the word shown */               \
  /* (text/printable.hpp), so that the tail of a typo such as 1e or 0x10, */                \
  /* refused at the prompt after the one that took its head, can be found. */               \
  X(number_refused, "\a[number: {word}]\n")                                                 \
  X(known_question, "ノイズの標準偏差は判っていますか？ [yes/no]\n")                        \
  X(estimate_question, "ノイズの標準偏差の推定を行いますか？ [yes/no]\n")                   \
  X(answer_prompt, " >")                                                                    \
  X(yes_no_refused, "\a[yes or no]\n")                                                      \
  X(noise_prompt, "ノイズの標準偏差=")                                                      \
  /* Console and run log alike. */                                                          \
  X(noise_estimated_line, "ノイズの標準偏差={sd:.6G} (推定)\n")                             \
  X(hard_threshold_choice, "縮退しきい値はハードスレッショルドで選定します。\n")            \
  /* Console and run log alike. */                                                          \
  X(threshold_line, "縮退しきい値={threshold:.6G}\n")                                       \
  X(level_prompt, "最大多重変換レベル=")                                                    \
  X(level_refused, "\a[ 1～{limit} ]\n")                                                    \
  /* Said on a line of its own when the prompt before it left the line open. */             \
  X(input_ended, "\ainput ended!\n")                                                        \
  /* Failures of files other than the data file at the prompt. */                           \
  X(file_error, "\afile error! [{file}: {reason}]\n")                                       \
  X(log_no_record, "\alog warning! [{file}: {reason}] no record written\n")                 \
  X(log_record_cut,                                                                         \
    "\alog warning! [{file}: {reason}] only the first {bytes} bytes of the record written\n") \
  X(log_not_written, "\alog warning! [{file}: {reason}] record may be incomplete\n")        \
  /* Notes on the terminal (never standard output) while another run in */                 \
  /* the same directory holds its lock. */                                                  \
  X(lock_waiting, "dorvenk: another run is using this directory; waiting for it to end\n")  \
  X(lock_still_waiting, "dorvenk: still waiting for the other run ({seconds} s)\n")         \
  /* Standard error, at the end of a run whose standard output failed. */                   \
  X(output_failed, "dorvenk: standard output: {reason}\n")                                  \
  /* Engine: the filter pair and the count of zeroed values. */                             \
  X(coefficient_line, "p{k:2d}={p:15.12f}, q{j:2d}={q:15.12f}\n")                           \
  X(ratio_line, "ratio >> {zeroed}/{n}\n")                                                  \
  /* Completion; or, after the rows are written, a data file that changed since */          \
  /* its first reading. */                                                                  \
  X(data_changed,                                                                           \
    "\adata changed! [{file}] input and noise columns do not show the denoised data\n")     \
  X(done, "\a[完了]\nOutputfile > [ {file} ]\n")                                            \
  /* Notes for the person at the terminal, written to the terminal itself */                \
  /* or to standard error, never to standard output. The key wait's hint */                 \
  /* is erased again when the key comes. */                                                 \
  X(key_hint, "(press any key)")                                                            \
  X(output_redirected_note,                                                                 \
    "dorvenk: standard output is redirected, so the prompts go there;"                      \
    " type the answers here\n")                                                             \
  X(encoding_ignored,                                                                       \
    "\aencoding warning! [{variable}={value}] ignored: not utf-8 or shift-jis\n")           \
  /* Result file. */                                                                        \
  X(result_header, " input L{L}_N{N}_denoise noise\n")                                      \
  X(result_row, "{i} {input:.6G} {denoised:.6G} {noise:.6G}\n")                             \
  /* Run log record (with count_line, mean_sd_line, noise_estimated_line */                 \
  /* and threshold_line above). */                                                          \
  X(log_time, "{hour}:{minute}:{second}\n")                                                 \
  X(log_input_file, "Inputfile [ {file} ]\n")                                               \
  X(log_order, "次数N={N}\n")                                                               \
  X(log_noise_typed, "ノイズの標準偏差={sd:.6G}\n")                                         \
  X(log_hard_threshold, "縮退しきい値={threshold:.6G} [Hard-th.]\n")                        \
  X(log_level, "多重解像度レベル={L}\n")                                                    \
  X(log_output_file, "Outputfile[ {file} ]\n\n")

namespace dorvenk::text {

#define DORVENK_DEFINE_TEXT(name, source) inline constexpr Template name{#name, source};
DORVENK_TEXTS(DORVENK_DEFINE_TEXT)
#undef DORVENK_DEFINE_TEXT

// Every text above, in the order of the list.
#define DORVENK_LIST_TEXT(name, source) &name,
inline constexpr const Template* ALL_TEXTS[] = {DORVENK_TEXTS(DORVENK_LIST_TEXT)};
#undef DORVENK_LIST_TEXT

}  // namespace dorvenk::text
