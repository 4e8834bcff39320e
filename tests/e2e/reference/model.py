"""Reference model of one whole run of the Dorvenk tool.

Written without the tool's C++ sources, from what the tool is meant to do,
so that the end-to-end cases it produces are an independent check of it.
Standard library only. Python floats are IEEE doubles with rounding to nearest and no
fused multiply-add, so every sum below, done in the same order as the tool
does it, gives the same bits.

The model works on a small in-memory picture of the working directory:
`files` maps a relative path to its text (str), `dirs` is the set of
directories. `run()` plays the whole run on it and returns the console
output (as Unicode text; the tool writes it as Shift-JIS) and the exit
status; the picture is left as the tool would leave the directory.
"""

import math
import re

MAX_DATA = 32768
MAX_N = 100
MAX_AR_ORDER = 60
INT_MIN = -(2 ** 31)
INT_MAX = 2 ** 31 - 1

LOG_NAME = "wavelet_log.txt"
SCRATCH = ("w_tmp", "s_tmp", "r_tmp")

STRERROR = {
    "EISDIR": "Is a directory",
    "ENOENT": "No such file or directory",
}

# Console texts.
BANNER = ("********* Dorvenk ver1.0 *********\n"
          "[ Use     : Daubechies Wavelet ]\n"
          "[ Max Data: 32768              ]\n"
          "[ Max  N  : 100                ]\n")
FILE_PROMPT = "\nPlease Input Filename\n >"
KNOWN_QUESTION = "ノイズの標準偏差は判っていますか？ [yes/no]\n"
ESTIMATE_QUESTION = "ノイズの標準偏差の推定を行いますか？ [yes/no]\n"
YES_NO_REFUSED = "\a[yes or no]\n"
NUMBER_REFUSED = "\a[number: %s]\n"
NOISE_PROMPT = "ノイズの標準偏差="
HARD_LINE = "縮退しきい値はハードスレッショルドで選定します。\n"
LEVEL_PROMPT = "最大多重変換レベル="
INPUT_ENDED = "\ainput ended!\n"


# ---------------------------------------------------------------- numbers

def fmt_g(x):
    """Six significant digits in the %G style; NaN without sign."""
    if math.isnan(x):
        return "NAN"
    return "%.6G" % x


def fmt_f12(x):
    """Twelve decimals, as the scratch files hold them."""
    if math.isnan(x):
        return "nan"
    return "%.12f" % x


def through_text(x):
    """The value a scratch file gives back for x."""
    return float(fmt_f12(x))


def div(a, b):
    """IEEE division: no exception on a zero divisor."""
    if b == 0.0:
        if math.isnan(a) or a == 0.0:
            return math.nan
        sign = math.copysign(1.0, a) * math.copysign(1.0, b)
        return math.copysign(math.inf, sign)
    return a / b


def ln(x):
    if math.isnan(x):
        return x
    if x == 0.0:
        return -math.inf
    if x < 0.0:
        return math.nan
    return math.log(x)


def sqrt(x):
    if math.isnan(x):
        return x
    if x < 0.0:
        return math.nan
    return math.sqrt(x)  # keeps -0.0


def is_space(ch):
    return ch in " \t\n\v\f\r"


def scan_number(text, pos):
    """Length of the decimal number that starts at pos (0: none there).

    Optional sign, digits with at most one decimal point (one digit at
    least), then an exponent only when e/E, an optional sign and at least
    one digit follow.
    """
    i = pos
    end = len(text)
    if i < end and text[i] in "+-":
        i += 1
    digits = 0
    while i < end and text[i].isdigit():
        i += 1
        digits += 1
    if i < end and text[i] == ".":
        i += 1
        while i < end and text[i].isdigit():
            i += 1
            digits += 1
    if digits == 0:
        return 0
    if i < end and text[i] in "eE":
        j = i + 1
        if j < end and text[j] in "+-":
            j += 1
        if j < end and text[j].isdigit():
            while j < end and text[j].isdigit():
                j += 1
            i = j
    return i - pos


def scan_integer(text, pos):
    """Length of the optional sign and decimal digits at pos (0: none)."""
    i = pos
    if i < len(text) and text[i] in "+-":
        i += 1
    start = i
    while i < len(text) and text[i].isdigit():
        i += 1
    if i == start:
        return 0
    return i - pos


# ---------------------------------------------------------------- input

REFUSED_WORD_CHARS = 64


class Refused:
    """A word that is not a number, as the refusal message shows it: its
    first 64 characters (ASCII in the cases), then "..." when there were
    more; a control character as \\xhh."""

    def __init__(self, word):
        cut = len(word) > REFUSED_WORD_CHARS
        shown = "".join("\\x%02x" % ord(c) if ord(c) < 0x20 or ord(c) == 0x7F else c
                        for c in word[:REFUSED_WORD_CHARS])
        self.shown = shown + ("..." if cut else "")


class Ended(Exception):
    """Standard input ended at a prompt."""


class Stdin:
    """Standard input read as words and numbers, not as lines."""

    def __init__(self, text):
        self.text = text
        self.pos = 0

    def _skip(self):
        while self.pos < len(self.text) and is_space(self.text[self.pos]):
            self.pos += 1
        if self.pos >= len(self.text):
            raise Ended()

    def _word_end(self):
        i = self.pos
        while i < len(self.text) and not is_space(self.text[i]):
            i += 1
        return i

    def word(self):
        self._skip()
        end = self._word_end()
        w = self.text[self.pos:end]
        self.pos = end
        return w

    def integer(self):
        """An int, or None when refused (not a number or beyond 32 bits)."""
        self._skip()
        length = scan_integer(self.text, self.pos)
        if length == 0:
            self.pos = self._word_end()  # the offending word is consumed
            return None
        value = int(self.text[self.pos:self.pos + length])
        self.pos += length
        if value < INT_MIN or value > INT_MAX:
            return None
        return value

    def double(self):
        """A float, or the refused word (a str) when the word there is not a number."""
        self._skip()
        length = scan_number(self.text, self.pos)
        if length == 0:
            end = self._word_end()
            word = self.text[self.pos:end]
            self.pos = end
            return Refused(word)
        value = float(self.text[self.pos:self.pos + length])
        self.pos += length
        return value


# ---------------------------------------------------------------- data file

class DataError(Exception):
    def __init__(self, line, word):
        super().__init__(line, word)
        self.line = line
        self.word = word


def read_numbers(text):
    """All numbers of a data file in order; DataError at a token that is not one."""
    values = []
    pos = 0
    end = len(text)
    while True:
        while pos < end and is_space(text[pos]):
            pos += 1
        if pos >= end:
            return values
        length = scan_number(text, pos)
        if length == 0:
            stop = pos
            while stop < end and not is_space(text[stop]):
                stop += 1
            line = text.count("\n", 0, pos) + 1
            word = text[pos:stop].encode("cp932", "replace")[:32].decode("cp932", "replace")
            raise DataError(line, word)
        values.append(float(text[pos:pos + length]))
        pos += length


def summarize(x):
    n = len(x)
    s = 0.0
    sq = 0.0
    for v in x:
        s = s + v
        sq = sq + v * v
    mean = div(s, float(n))
    var = div(sq, float(n)) - mean * mean
    return mean, sqrt(var)


# ---------------------------------------------------------------- dialogue helpers

def level_limit(n):
    v = n
    count = 0
    for _ in range(n):
        v = v // 2
        count += 1
        if v % 2 == 1:
            break
    return count


def threshold_from_noise_sd(n, sigma):
    t = ln(float(n))
    t = t + t
    t = sqrt(t)
    return t * sigma


def threshold_from_data_sd(n, sd):
    t = ln(float(n))
    t = t + t
    t = div(t, float(n))
    t = sqrt(t)
    return t * sd


# ---------------------------------------------------------------- estimator

def estimate_noise_sd(x, n):
    M = MAX_AR_ORDER if n > MAX_AR_ORDER else n - 1
    R = [0.0] * (MAX_AR_ORDER + 1)
    for k in range(0, M + 1):
        acc = 0.0
        d = float(n - k)
        for i in range(0, n - k):
            acc = acc + div(x[i] * x[i + k], d)
        R[k] = acc
    a = [[0.0] * MAX_AR_ORDER for _ in range(MAX_AR_ORDER)]
    for m in range(1, M + 1):
        A = [[0.0] * (m + 1) for _ in range(m)]
        for r in range(m):
            for c in range(m):
                A[r][c] = R[abs(r - c)]
        for i in range(m):
            A[i][m] = R[i + 1]
        for k in range(0, m - 1):
            for i in range(k + 1, m):
                f = div(A[i][k], A[k][k])
                for j in range(k, m + 1):
                    A[i][j] = A[i][j] - f * A[k][j]
        for j in range(m - 1, -1, -1):
            A[j][m] = div(A[j][m], A[j][j])
            A[j][j] = 1.0
            for i in range(0, j):
                A[i][m] = A[i][m] - A[i][j] * A[j][m]
                A[i][j] = 0.0
        for i in range(m):
            a[m - 1][i] = A[i][m]

    def residual_sum(q):
        coef = a[q]
        total = 0.0
        for t in range(0, n - q - 1):
            pred = 0.0
            for o in range(0, q + 1):
                pred = pred + coef[o] * x[t + q - o]
            e = pred - x[t + q + 1]
            total = total + e * e
        return total

    s2 = [0.0] * MAX_AR_ORDER
    aic = [0.0] * MAX_AR_ORDER
    for q in range(0, M):
        s2[q] = residual_sum(q) / float(n - q - 1)
    for q in range(0, M):
        aic[q] = float(n) * ln(s2[q]) + float(2 * q + 2)
    best = 1
    if M >= 1:
        best_aic = aic[0]
        for q in range(1, M):
            if aic[q] < best_aic:
                best = q + 1
                best_aic = aic[q]
    total = residual_sum(best - 1) if n - best > 0 else 0.0
    return sqrt(div(total, float(n - best)))


# ---------------------------------------------------------------- engine

class FileFailure(Exception):
    def __init__(self, name, errno_name):
        super().__init__(name, errno_name)
        self.name = name
        self.errno_name = errno_name


class Directory:
    """The working directory as the run sees it."""

    def __init__(self, files, dirs):
        self.files = dict(files)
        self.dirs = set(dirs)

    def open_write(self, name):
        if name in self.dirs:
            raise FileFailure(name, "EISDIR")
        parent = name.rsplit("/", 1)[0] if "/" in name else None
        if parent is not None and parent not in self.dirs:
            raise FileFailure(name, "ENOENT")
        self.files[name] = ""

    def open_read(self, name):
        if name in self.dirs:
            raise FileFailure(name, "EISDIR")
        if name not in self.files:
            raise FileFailure(name, "ENOENT")
        return self.files[name]

    def remove(self, name):
        self.files.pop(name, None)


def coefficient_table(p, N):
    lines = []
    q = []
    for k in range(2 * N):
        v = p[2 * N - 1 - k]
        qk = v if k % 2 == 0 else -v
        q.append(qk)
        lines.append("p%2d=%15.12f, q%2d=%15.12f\n" % (k, p[k], k - N, qk))
    return q, "".join(lines)


def wavelet_shrink(out, wd, x, n, p, taps, L, threshold):
    N = taps // 2
    q, table = coefficient_table(p, N)
    out.append(table)
    try:
        r = n
        for _stage in range(L):
            wd.open_write("w_tmp")
            wd.open_write("s_tmp")
            half = r // 2
            approx = []
            detail = []
            for i in range(half):
                a_sum = 0.0
                d_sum = 0.0
                for k in range(taps):
                    a_sum = a_sum + p[k] * x[(k + 2 * i) % r]
                for k in range(taps):
                    d_sum = d_sum + q[k] * x[(k + 2 * i) % r]
                detail.append(through_text(d_sum))
                approx.append(through_text(a_sum))
            r = half
            for i in range(r):
                x[r + i] = detail[i]
                x[i] = approx[i]

        zeroed = 0
        for i in range(n):
            if not abs(x[i]) >= threshold:
                x[i] = 0.0
                zeroed += 1
        out.append("ratio >> %d/%d\n" % (zeroed, n))

        for _stage in range(L):
            # The smallest multiple of r not below N (r itself when N <= r),
            # so that the stage is the transpose of its decomposition stage.
            c = -(-N // r) * r if r > 0 else N
            wd.open_write("r_tmp")
            outputs = []
            for j in range(r):
                y0 = 0.0
                y1 = 0.0
                for i in range(N):
                    idx = (j - i + c) % r
                    y0 = y0 + (p[2 * i] * x[idx] + q[2 * i] * x[r + idx])
                for i in range(N):
                    idx = (j - i + c) % r
                    y1 = y1 + (p[2 * i + 1] * x[idx] + q[2 * i + 1] * x[r + idx])
                outputs.append(through_text(y0))
                outputs.append(through_text(y1))
            r = 2 * r
            for i in range(r):
                x[i] = outputs[i]
    finally:
        for name in SCRATCH:
            if name not in wd.dirs:
                wd.remove(name)


# ---------------------------------------------------------------- reports

def result_text(inputs, x, n, L, N):
    rows = [" input L%d_N%d_denoise noise\n" % (L, N)]
    for i in range(n):
        v = inputs[i]
        rows.append("%d %s %s %s\n" % (i, fmt_g(v), fmt_g(x[i]), fmt_g(v - x[i])))
    return "".join(rows)


# ---------------------------------------------------------------- the run

def run(stdin_text, files, dirs=(), before_result=None):
    """Plays one run.

    stdin_text: the standard input. files: {path: text} present before the
    run. dirs: directories present before the run. before_result: optional
    callable(Directory) applied after the dialogue and before the result
    stage (an outside change to the directory while the tool waits).

    Returns (console_text, status, Directory).
    """
    out = [BANNER]
    wd = Directory(files, dirs)
    stdin = Stdin(stdin_text)
    try:
        status = _run(out, wd, stdin, before_result)
    except Ended:
        # The prompt at which the input ended left its line open.
        if not "".join(out).endswith("\n"):
            out.append("\n")
        out.append(INPUT_ENDED)
        status = 1
    return "".join(out), status, wd


def _run(out, wd, stdin, before_result):
    # File prompt.
    while True:
        out.append(FILE_PROMPT)
        base = stdin.word()
        if base in ("end", "exit"):
            return 0
        data_name = base + ".txt"
        if data_name in wd.files:
            break
        out.append("\aファイル[ %s ]は存在しません。\n" % data_name)
    result_name = base + "-dN.txt"

    # Data intake.
    try:
        values = read_numbers(wd.files[data_name])
    except DataError as e:
        out.append("\adata error! [line %d: %s]\n" % (e.line, e.word))
        return 1
    if len(values) > MAX_DATA:
        out.append("\adata over! [Max %d]\n" % MAX_DATA)
        return 1
    x = values
    n = len(x)
    mean, sd = summarize(x)
    out.append("データ数=%d\n" % n)
    out.append("平均=%s, 標準偏差=%s\n" % (fmt_g(mean), fmt_g(sd)))
    if n == 0:
        out.append("\adata empty!\n")
        return 1

    # Order.
    while True:
        out.append("N=")
        N = stdin.integer()
        if N is not None and 1 <= N <= MAX_N:
            break
        out.append("\a[ 1～%d]\n" % MAX_N)
    # Coefficients.
    p = []
    for k in range(2 * N):
        while True:
            out.append("p[%2d]=" % k)
            v = stdin.double()
            if not isinstance(v, Refused):
                break
            out.append(NUMBER_REFUSED % v.shown)
        p.append(v)

    # The run log is opened (and so created) now; its record reaches the
    # file only when it is closed after the level answer.
    log_open = LOG_NAME not in wd.dirs
    if log_open:
        wd.files.setdefault(LOG_NAME, "")
    else:
        out.append("\alog warning! [%s: %s] no record written\n"
                   % (LOG_NAME, STRERROR["EISDIR"]))
    record = ["@TIME@\n",
              "Inputfile [ %s ]\n" % data_name,
              "データ数=%d\n" % n,
              "平均=%s, 標準偏差=%s\n" % (fmt_g(mean), fmt_g(sd)),
              "次数N=%d\n" % N]

    out.append(KNOWN_QUESTION)
    branch = None
    while True:
        out.append(" >")
        w = stdin.word()
        if w == "yes":
            branch = "typed"
            break
        if w == "no":
            break
        out.append(YES_NO_REFUSED)
    if branch == "typed":
        while True:
            out.append(NOISE_PROMPT)
            v = stdin.double()
            if not isinstance(v, Refused):
                break
            out.append(NUMBER_REFUSED % v.shown)
        sd = v
        threshold = threshold_from_noise_sd(n, sd)
        record.append("ノイズの標準偏差=%s\n" % fmt_g(sd))
        record.append("縮退しきい値=%s\n" % fmt_g(threshold))
    else:
        out.append(ESTIMATE_QUESTION)
        while True:
            out.append(" >")
            w = stdin.word()
            if w in ("yes", "no"):
                break
            out.append(YES_NO_REFUSED)
        if w == "yes":
            sd = estimate_noise_sd(x, n)
            out.append("ノイズの標準偏差=%s (推定)\n" % fmt_g(sd))
            threshold = threshold_from_noise_sd(n, sd)
            record.append("ノイズの標準偏差=%s (推定)\n" % fmt_g(sd))
            record.append("縮退しきい値=%s\n" % fmt_g(threshold))
        else:
            out.append(HARD_LINE)
            threshold = threshold_from_data_sd(n, sd)
            record.append("縮退しきい値=%s [Hard-th.]\n" % fmt_g(threshold))
    out.append("縮退しきい値=%s\n" % fmt_g(threshold))

    limit = level_limit(n)
    while True:
        out.append(LEVEL_PROMPT)
        L = stdin.integer()
        if L is not None and 1 <= L <= limit:
            break
        out.append("\a[ 1～%d ]\n" % limit)
    record.append("多重解像度レベル=%d\n" % L)
    record.append("Outputfile[ %s ]\n\n" % result_name)
    if log_open:
        wd.files[LOG_NAME] += "".join(record)

    if before_result is not None:
        before_result(wd)

    # Denoising.
    try:
        wavelet_shrink(out, wd, x, n, p, 2 * N, L, threshold)
        # Result file: the data file is read again beside the denoised series.
        text = wd.open_read(data_name)
        wd.open_write(result_name)
        inputs = read_numbers(text)
        wd.files[result_name] = result_text(inputs, x, n, L, N)
    except FileFailure as e:
        out.append("\afile error! [%s: %s]\n" % (e.name, STRERROR[e.errno_name]))
        return 1

    out.append("\a[完了]\nOutputfile > [ %s ]\n" % result_name)
    return 0


TIME_AT_END = re.compile(r"[0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}$")


def normalise_log(text):
    """The run log as the harness compares it: trailing times become @TIME@."""
    return "\n".join(TIME_AT_END.sub("@TIME@", line) for line in text.split("\n"))
