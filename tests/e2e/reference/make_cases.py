"""Writes the end-to-end case folders of the dialogue, the engine and the
result file from the table CASES below, with expected outputs from model.py.

    python3 tests/e2e/reference/make_cases.py            # write all
    python3 tests/e2e/reference/make_cases.py NAME ...   # write some

Only the folders named in CASES are (re)written; other case folders are left
alone. Standard library only.
"""

import math
import os
import random
import shutil
import sys

sys.dont_write_bytecode = True  # keep the source folder clean

import model  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
CASES_DIR = os.path.normpath(os.path.join(HERE, "..", "cases"))

# Scaling filters as a user would type them.
HAAR = "0.707106781187 0.707106781187"
D4 = "0.482962913145\n0.836516303738\n0.224143868042\n-0.129409522551"
D6 = ("0.332670552950\n0.806891509311\n0.459877502118\n"
      "-0.135011020010\n-0.085441273882\n0.035226291882")


def noisy_sine(n, seed, per_line=1, amplitude=2.0, period=32.0, sigma=0.3):
    """A sine with seeded Gaussian noise, six decimals per value."""
    rng = random.Random(seed)
    values = []
    for i in range(n):
        u1 = 1.0 - rng.random()
        u2 = rng.random()
        g = math.sqrt(-2.0 * math.log(u1)) * math.cos(2.0 * math.pi * u2)
        values.append("%.6f" % (amplitude * math.sin(2.0 * math.pi * i / period) + sigma * g))
    lines = [" ".join(values[i:i + per_line]) for i in range(0, n, per_line)]
    return "\n".join(lines) + "\n"


def generated_coefficients(count, seed):
    """Arbitrary small filter taps, ten to a line."""
    rng = random.Random(seed)
    taps = ["%.6f" % (rng.uniform(-0.05, 0.05) + (0.1 if k % 7 == 0 else 0.0))
            for k in range(count)]
    return "\n".join(" ".join(taps[i:i + 10]) for i in range(0, count, 10))


def lines(*parts):
    return "\n".join(parts) + "\n"


# An earlier record of the run log, as a previous run left it.
EARLIER_RECORD = (
    "14:7:3\n"
    "Inputfile [ old.txt ]\n"
    "データ数=1024\n"
    "平均=0.0127, 標準偏差=1.04531\n"
    "次数N=2\n"
    "ノイズの標準偏差=0.298765 (推定)\n"
    "縮退しきい値=1.11239\n"
    "多重解像度レベル=5\n"
    "Outputfile[ old-dN.txt ]\n"
    "\n")

# The data file disappears while the tool waits at the noise question; the
# log file appears when the last coefficient has been read, so its
# appearance says the dialogue has got that far.
WAIT_FOR_LOG = (
    "i=0\n"
    "while [ ! -e wavelet_log.txt ] && [ \"$i\" -lt 400 ]; do sleep 0.05; i=$((i+1)); done\n")


# What "dorvenk-coefs 4" prints: the eight coefficients of order 4.
COEFS_4 = lines("0.23037781330889651", "0.71484657055291567", "0.63088076792985892",
                "-0.027983769416859854", "-0.18703481171909309", "0.030841381835560764",
                "0.032883011666885197", "-0.010597401785069032").rstrip("\n")


# What "dorvenk-coefs 8" prints: the sixteen coefficients of order 8.
COEFS_8 = lines("0.054415842243104008", "0.31287159091429995", "0.67563073629728976",
                "0.58535468365420673", "-0.015829105256349306", "-0.28401554296154691",
                "0.00047248457391328279", "0.12874742662047847", "-0.017369301001807547",
                "-0.044088253930794755", "0.013981027917398282", "0.0087460940474057766",
                "-0.0048703529934515741", "-0.00039174037337694705", "0.00067544940645056933",
                "-0.00011747678412476953").rstrip("\n")


def mad_noise(data_text, coefficients_text):
    """What "dorvenk-noise FILE N" prints: median(|d|) / Phi^-1(0.75) over
    the details d of one periodic decomposition stage in full precision."""
    x = [float(v) for v in data_text.split()]
    p = [float(v) for v in coefficients_text.split()]
    taps = len(p)
    q = [p[taps - 1 - k] if k % 2 == 0 else -p[taps - 1 - k] for k in range(taps)]
    n = len(x)
    details = []
    for i in range(n // 2):
        d = 0.0
        for k in range(taps):
            d = d + q[k] * x[(k + 2 * i) % n]
        details.append(abs(d))
    details.sort()
    m = len(details) // 2
    median = details[m] if len(details) % 2 == 1 else (details[m - 1] + details[m]) / 2
    return "%.17g" % (median / 0.674489750196081743202227014541307185)


NOISE_DATA = noisy_sine(64, 32)


def remove_file(name):
    def change(wd):
        wd.remove(name)
    return change


CASES = [
    # ------------------------------------------------------------ dialogue
    dict(name="dialogue_known_noise_typed",
         files={"wave.txt": noisy_sine(64, 1)},
         stdin=lines("wave", "0", "-1", "101", "2", D4, "yes", "0.3", "0", "-1", "7", "3")),
    dict(name="dialogue_estimate_after_refused_words",
         files={"noisy.txt": noisy_sine(128, 2, per_line=4)},
         stdin=lines("noisy", "2", D4, "Yes", "YES", "y", "n", "yesplease", "no",
                     "No", "ye", "yes", "3")),
    dict(name="dialogue_order_one_hard_threshold_one_line",
         files={"series.txt": noisy_sine(32, 3, per_line=8)},
         stdin=lines("series 1 %s no no 5" % HAAR)),
    dict(name="dialogue_order_decimal_leaves_fraction",
         files={"wave.txt": noisy_sine(16, 4)},
         stdin=lines("wave", "2.5", "0.836516303738", "0.224143868042", "-0.129409522551",
                     "yes", "0.1", "2")),
    dict(name="dialogue_order_hundred",
         files={"long.txt": noisy_sine(48, 5, per_line=6)},
         stdin=lines("long", "100", generated_coefficients(200, 6), "yes", "0.2", "4")),
    dict(name="dialogue_order_and_coefficient_not_numbers",
         files={"wave.txt": noisy_sine(16, 7)},
         stdin=lines("wave", "abc", "4294967296", "-4294967297", "2",
                     "0.482962913145 x1 0.836516303738", "1e+x", "-0.129409522551",
                     "yes 0.25 1")),
    dict(name="dialogue_noise_and_level_not_numbers",
         files={"wave.txt": noisy_sine(16, 8)},
         stdin=lines("wave", "1", HAAR, "yes", "sigma", "0.2", "deep", "99999999999",
                     "-2147483649", "2147483648", "2147483647", "2")),
    # A refused number names the word: the tail of a typo, refused at the
    # prompt after the one that took its head; control bytes escaped; a
    # long word cut.
    dict(name="dialogue_refused_numbers_named",
         files={"wave.txt": noisy_sine(16, 40)},
         stdin=lines("wave", "2", "1e", "0.5", "0x10", "\x1b[2J0.7", "0.5", "yes",
                     "z" * 70, "0.1", "2")),
    dict(name="dialogue_input_ended_after_coefficients",
         files={"wave.txt": noisy_sine(8, 9)},
         stdin=lines("wave", "2", "0.482962913145 0.836516303738")),
    dict(name="dialogue_input_ended_after_known_question",
         files={"wave.txt": noisy_sine(8, 10)},
         stdin=lines("wave", "1", HAAR, "maybe", "no")),
    dict(name="dialogue_input_ended_at_level_log_unchanged",
         files={"wave.txt": noisy_sine(8, 11), "wavelet_log.txt": EARLIER_RECORD},
         stdin=lines("wave", "1", HAAR, "yes", "0.1", "4")),
    dict(name="dialogue_log_is_directory",
         files={"wave.txt": noisy_sine(16, 12)},
         dirs=["wavelet_log.txt"],
         stdin=lines("wave", "1", HAAR, "yes", "0.1", "2")),
    dict(name="dialogue_log_appended_after_unterminated_line",
         files={"wave.txt": noisy_sine(16, 13),
                "wavelet_log.txt": EARLIER_RECORD + "checked by hand"},
         stdin=lines("wave", "2", D4, "no", "no", "1")),

    # ------------------------------------------------------------ engine and result
    dict(name="full_run_estimated_d6_n256",
         files={"sine.txt": noisy_sine(256, 21, per_line=8)},
         stdin=lines("sine", "3", D6, "no", "yes", "4")),
    dict(name="full_run_hard_threshold_d4_n96",
         files={"sine.txt": noisy_sine(96, 22)},
         stdin=lines("sine", "2", D4, "no", "no", "5")),
    dict(name="full_run_known_noise_odd_n101",
         files={"odd.txt": noisy_sine(101, 23)},
         stdin=lines("odd", "2", D4, "yes", "0.3", "2")),
    dict(name="full_run_odd_seven_threshold_zero",
         files={"seven.txt": lines("0.812", "1.05", "0.377", "-0.25", "1.2e-1", "3",
                                   "0.1234567890123456")},
         stdin=lines("seven", "2", D4, "yes", "0", "1")),
    dict(name="full_run_haar_negative_noise_full_depth",
         files={"eight.txt": lines("1.5 -0.25 3.125 7", "0.0001 -2 1e3 0.333333333333333")},
         stdin=lines("eight", "1", HAAR, "yes", "-1", "3")),
    dict(name="full_run_all_zeroed_odd_nine",
         files={"nine.txt": lines("1 2 3 4 5 6 7 8 9")},
         stdin=lines("nine", "1", HAAR, "yes", "1e6", "2")),
    dict(name="full_run_single_value_estimate_not_a_number",
         files={"one.txt": lines("3.5")},
         stdin=lines("one", "2", D4, "no", "yes", "1")),
    dict(name="full_run_single_value_replaces_result",
         files={"one.txt": lines("-2.75"),
                "one-dN.txt": lines(" input L3_N2_denoise noise", "0 1 1 0", "1 2 2 0", "2 3 3 0")},
         stdin=lines("one", "1", HAAR, "yes", "0.5", "1")),
    dict(name="full_run_two_values_estimated",
         files={"two.txt": lines("2 3")},
         stdin=lines("two", "2", D4, "no", "yes", "1")),
    dict(name="full_run_full_depth_d6_n64",
         files={"pow.txt": noisy_sine(64, 24, per_line=4)},
         stdin=lines("pow", "3", D6, "no", "no", "6")),
    dict(name="full_run_magnitude_equal_to_threshold_survives",
         files={"four.txt": lines("1 2.5 3 3.5")},
         stdin=lines("four", "1", "1 1", "yes", "0.9008418065898374", "1")),
    dict(name="full_run_base_name_with_directory",
         files={"sub/wave.txt": noisy_sine(32, 25)},
         stdin=lines("sub/wave", "2", D4, "yes", "0.3", "2")),
    dict(name="scratch_existing_files_overwritten",
         files={"wave.txt": noisy_sine(16, 26), "w_tmp": "left over\n",
                "s_tmp": "1.5\n2.5\n", "r_tmp": ""},
         stdin=lines("wave", "2", D4, "yes", "0.3", "2")),
    dict(name="scratch_w_tmp_is_directory",
         files={"wave.txt": noisy_sine(16, 27)},
         dirs=["w_tmp"],
         stdin=lines("wave", "1", HAAR, "yes", "0.3", "2")),
    dict(name="scratch_r_tmp_is_directory",
         files={"wave.txt": noisy_sine(16, 28)},
         dirs=["r_tmp"],
         stdin=lines("wave", "1", HAAR, "yes", "0.3", "2")),
    dict(name="result_file_is_directory",
         files={"wave.txt": noisy_sine(16, 29)},
         dirs=["wave-dN.txt"],
         stdin=lines("wave", "1", HAAR, "no", "no", "1")),
    # The coefficients come from dorvenk-coefs through a pipe; the model is
    # fed the very lines that command prints.
    dict(name="coefs_order_four_piped_into_tool",
         files={"mydata.txt": noisy_sine(64, 31)},
         stdin=lines("mydata", "4", COEFS_4, "no", "no", "3"),
         cmd='{ printf \'mydata\\n4\\n\'; "$BUILD_DIR/src/coefs/dorvenk-coefs" 4; printf \'no\\nno\\n3\\n\'; } | "$TOOL"\n'),
    # The noise level comes from dorvenk-noise through the same pipe; the
    # model is fed the value that command prints, computed here anew.
    dict(name="noise_order_eight_piped_into_tool",
         files={"data.txt": NOISE_DATA},
         stdin=lines("data", "8", COEFS_8, "yes", mad_noise(NOISE_DATA, COEFS_8), "5"),
         cmd='{ echo data; echo 8; "$BUILD_DIR/src/coefs/dorvenk-coefs" 8; echo yes; '
             '"$BUILD_DIR/src/noise/dorvenk-noise" data.txt 8; echo 5; } | "$TOOL"\n'),
    # ------------------------------------------------------------ console encoding
    # Written to a file or a pipe the texts are Shift-JIS, whatever the locale.
    dict(name="encoding_pipe_is_shift_jis_under_utf8_locale",
         files={"wave.txt": noisy_sine(16, 41)},
         stdin=lines("wave 1", HAAR, "no yes 1"),
         env="LC_ALL=C.UTF-8 LANG=C.UTF-8"),
    # DORVENK_ENCODING=utf-8 gives UTF-8 on a pipe too; the run log stays
    # Shift-JIS.
    dict(name="encoding_override_utf8_on_pipe",
         files={"wave.txt": noisy_sine(16, 42)},
         stdin=lines("wave 1", HAAR, "no yes 1"),
         env="DORVENK_ENCODING=UTF8", stdout_encoding="utf-8"),
    # A value that names no encoding is ignored, with a warning on standard
    # error (kept in a file here: the harness wants standard error empty).
    dict(name="encoding_override_unknown_ignored",
         files={"wave.txt": noisy_sine(16, 43)},
         stdin=lines("wave 1", HAAR, "no yes 1"),
         env="LC_ALL=C.UTF-8 DORVENK_ENCODING=latin-1", stderr_file="warning.txt",
         more_files={"warning.txt": "\aencoding warning! [DORVENK_ENCODING=latin-1] ignored: "
                                    "not utf-8 or shift-jis\n"}),
    dict(name="result_data_file_removed_before_second_reading",
         files={"wave.txt": noisy_sine(16, 30)},
         stdin=lines("wave", "2", D4),
         stdin_after=lines("no", "no", "2"),
         outside_change=remove_file("wave.txt"),
         cmd_between="rm -f wave.txt\n"),
]


def shell_text(text):
    """A single-quoted shell word holding text (which has no quote)."""
    assert "'" not in text
    return "'" + text + "'"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make(case):
    name = case["name"]
    folder = os.path.join(CASES_DIR, name)
    if os.path.exists(folder):
        shutil.rmtree(folder)
    files = case.get("files", {})
    dirs = list(case.get("dirs", []))
    for path in files:
        parent = os.path.dirname(path)
        if parent and parent not in dirs:
            dirs.append(parent)
    stdin = case["stdin"] + case.get("stdin_after", "")

    console, status, wd = model.run(stdin, files, dirs, case.get("outside_change"))

    for path, text in files.items():
        # Files placed before the run hold the bytes the tool would find:
        # Shift-JIS for the run log's Japanese labels.
        write(os.path.join(folder, "files", path), text.encode("cp932"))
    if case.get("dirs"):
        write(os.path.join(folder, "setup.sh"),
              "".join("mkdir -p %s\n" % d for d in case["dirs"]).encode())
    if "cmd" in case:
        write(os.path.join(folder, "cmd"), case["cmd"].encode())
    elif "env" in case:
        # The tool with these variables set, standard input as usual.
        redirect = " 2> %s" % case["stderr_file"] if "stderr_file" in case else ""
        write(os.path.join(folder, "cmd"), ('%s "$TOOL"%s\n' % (case["env"], redirect)).encode())
        write(os.path.join(folder, "stdin"), stdin.encode())
    elif "cmd_between" in case:
        cmd = ("{\n"
               "printf '%%s' %s\n" % shell_text(case["stdin"])
               + WAIT_FOR_LOG
               + case["cmd_between"]
               + "printf '%%s' %s\n" % shell_text(case["stdin_after"])
               + "} | \"$TOOL\"\n")
        write(os.path.join(folder, "cmd"), cmd.encode())
    else:
        write(os.path.join(folder, "stdin"), stdin.encode())

    if case.get("stdout_encoding") == "utf-8":
        # The exact bytes: UTF-8, not converted to Shift-JIS by the harness.
        write(os.path.join(folder, "expected", "stdout.raw"), console.encode("utf-8"))
    else:
        write(os.path.join(folder, "expected", "stdout"), console.encode("utf-8"))
    write(os.path.join(folder, "expected", "status"), b"%d\n" % status)

    gone = sorted(path for path in files if path not in wd.files)
    if gone:
        write(os.path.join(folder, "expected", "gone"), "".join(g + "\n" for g in gone).encode())
    for path, text in case.get("more_files", {}).items():
        write(os.path.join(folder, "expected", "files", path), text.encode("utf-8"))
    for path, text in sorted(wd.files.items()):
        if path == model.LOG_NAME:
            text = model.normalise_log(text)
        if files.get(path) != text:
            write(os.path.join(folder, "expected", "files", path), text.encode("utf-8"))


def main(argv):
    wanted = set(argv[1:])
    known = {c["name"] for c in CASES}
    unknown = wanted - known
    if unknown:
        sys.exit("unknown case: " + ", ".join(sorted(unknown)))
    for case in CASES:
        if not wanted or case["name"] in wanted:
            make(case)
            print(case["name"])


if __name__ == "__main__":
    main(sys.argv)
