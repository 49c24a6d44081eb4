"""The module against the program: the same periods for the same text and
n, whole or fed in random pieces, from str and from bytes; and against a
plain model of the rules, where each period comes from and where the text
stops being UTF-8."""
import array
import doctest
import inspect
import io
import mmap
import os
import subprocess
import sys
import threading
import warnings

import pytest
from hypothesis import given, settings, strategies as st

import spezzafrasi

PROGRAM = os.environ["SPEZZAFRASI_PROGRAM"]


def program_periods(data, n):
    """What the program writes for `data` (bytes) and n."""
    run = subprocess.run([PROGRAM, "-", "-", str(n)], input=data, capture_output=True,
                         timeout=60, check=True)
    return run.stdout


def char_length(lead):
    """The bytes that a lead byte takes, as the program reads them."""
    return 2 if lead >> 5 == 6 else 3 if lead >> 4 == 14 else 4 if lead >> 3 == 30 else 1


def model(data, n):
    """The rules one character at a time, as plainly as they can be put:
    the periods (without ';' and the line end) with their spans in `data`,
    and the first fault (offset, line), or None."""
    chars, fault, lines, at = [], None, 0, 0
    while at < len(data):
        size = char_length(data[at])
        char = data[at:at + size]
        well_formed = (len(char) == size and not 0x80 <= data[at] < 0xC0 and data[at] < 0xF8
                       and all(b >> 6 == 2 for b in char[1:]))
        if fault is None and not well_formed:
            fault = (at, lines + 1)
        lines += fault is None and char == b"\n"
        chars.append((at, char if len(char) == size else None))  # None: cut short, dropped
        at += size
    periods, start, line, words, in_gap, skipping = [], None, b"", 0, True, False
    for at, char in chars:
        separator = char is not None and char in b"\n\f\r "
        terminator = char is not None and (char in b"!().:;?" or char == "·".encode())
        if start is None and not separator:
            start = at
        if char is None:
            break
        if terminator and (skipping or n > 0):  # the phrase ends, its dropped tail too
            periods.append((line, start, at + len(char)))
            start, line, words, in_gap, skipping = None, b"", 0, True, False
        elif skipping:
            pass
        elif n <= 0:  # a period of one character, the rest of the phrase dropped
            skipping = True
        elif separator:
            if not in_gap:
                words += 1
                skipping = words >= n
                line += b"" if skipping else b" "
            in_gap = True
        else:
            line, in_gap = line + char, False
    periods.append((line, len(data) if start is None else start, len(data)))
    return periods, fault


# Texts made of what the rules look at: words, accents, every separator
# and terminator, the middle dot, and (for bytes) what is not UTF-8.
PIECES = ["a", "parola", "è", "E'", "\t", ",", " ", "  ", "\n", "\r\n", "\f", ".", "!", "?",
          ":", ";", "(", ")", "...", "·", "…", "😀", "\u00a0", "\ufeff"]
texts = st.lists(st.one_of(st.sampled_from(PIECES), st.text(max_size=3)), max_size=60).map("".join)
raw = st.lists(st.one_of(st.sampled_from([p.encode() for p in PIECES]),
                         st.binary(max_size=3)), max_size=60).map(b"".join)
counts = st.one_of(st.integers(-3, 12), st.sampled_from([2**31 - 1, -2**31, 10**30, -10**30]))


def pieces(data, cuts):
    """`data` cut at the given fractions of its length."""
    at = sorted({int(c * len(data)) for c in cuts})
    return [data[i:j] for i, j in zip([0] + at, at + [len(data)])]


def whole_periods(fed, periods):
    """Each part that a Segmenter gave back ends where a period ends."""
    ends, at = {0}, 0
    for line, _, _ in periods:
        at += len(line) + 2
        ends.add(at)
    total = 0
    for part in fed:
        total += len(part)
        assert total in ends, (fed, periods)


@settings(max_examples=150, deadline=None)
@given(text=texts, n=counts, cuts=st.lists(st.floats(0, 1), max_size=8))
def test_str_as_program(text, n, cuts):
    data = text.encode()
    expected = program_periods(data, n).decode()
    assert spezzafrasi.periods(text, n) == expected
    segmenter = spezzafrasi.Segmenter(n)
    fed = [segmenter.feed(piece) for piece in pieces(text, cuts)]
    periods, _ = model(data, n)
    whole_periods([part.encode() for part in fed], periods)
    assert "".join(fed) + segmenter.finish() == expected
    # Spans in code points: the model's in bytes, counted again as characters.
    def point(byte):
        return len(data[:byte].decode())
    assert [tuple(p) for p in spezzafrasi.iter_periods(text, n, spans=True)] == [
        (line.decode(), point(start), point(end)) for line, start, end in periods]


@settings(max_examples=150, deadline=None)
@given(data=raw, n=counts, cuts=st.lists(st.floats(0, 1), max_size=8))
def test_bytes_as_program(data, n, cuts):
    expected = program_periods(data, n)
    periods, fault = model(data, n)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert spezzafrasi.periods(data, n) == expected
        assert spezzafrasi.periods(data, n, crlf=True) == expected.replace(b";\n", b";\r\n")
        segmenter = spezzafrasi.Segmenter(n, crlf=True)
        fed = [segmenter.feed(piece) for piece in pieces(data, cuts)] + [segmenter.finish()]
        assert b"".join(fed) == expected.replace(b";\n", b";\r\n")
        assert [tuple(p) for p in spezzafrasi.iter_periods(data, n, spans=True)] == periods
    whole_periods([part.replace(b";\r\n", b";\n") for part in fed], periods)
    # Once for each of the four texts, with the first fault as the program says it.
    assert [(w.message.offset, w.message.line) for w in caught] == [fault] * 4 if fault else not caught
    if fault:
        assert issubclass(caught[0].category, spezzafrasi.NotUTF8Warning)
        said = subprocess.run([PROGRAM, "-", "-", str(n)], input=data, capture_output=True,
                              timeout=60, check=True).stderr.decode()
        assert f"primo errore al byte {fault[0] + 1}, riga {fault[1]})" in said


@pytest.mark.parametrize("call", [
    lambda: spezzafrasi.periods(3),
    lambda: spezzafrasi.periods([65, 66]),
    lambda: spezzafrasi.periods("a", "7"),
    lambda: spezzafrasi.periods("a", 7.0),
    lambda: spezzafrasi.iter_periods(None),
    lambda: list(spezzafrasi.iter_periods(io.StringIO("a"))),
    lambda: spezzafrasi.Segmenter("7"),
    lambda: spezzafrasi.Segmenter(binary=True).feed("a"),
    lambda: spezzafrasi.transcribe(3, "b"),
])
def test_wrong_types_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


def test_segmenter_keeps_one_text_type_and_ends_once():
    segmenter = spezzafrasi.Segmenter(2)
    assert segmenter.feed("uno due tre. quattro") == "uno due;\n"
    with pytest.raises(TypeError):
        segmenter.feed(b"cinque")
    assert segmenter.finish() == "quattro;\n"
    with pytest.raises(ValueError):
        segmenter.feed("sei")
    assert spezzafrasi.Segmenter().finish() == ";\n"
    assert spezzafrasi.Segmenter(binary=True).finish() == b";\n"
    assert repr(spezzafrasi.Segmenter(3, crlf=True)) == "Segmenter(n=3, crlf=True)"
    segmenter.reset()
    assert segmenter.feed(b"uno due tre. ") == b"uno due;\n"
    with pytest.raises(TypeError):
        __import__("copy").copy(segmenter)


class Index:
    """An integer that is not an int, as numpy's are."""
    def __index__(self):
        return 2


def mapped(data):
    memory = mmap.mmap(-1, len(data))
    memory.write(data)
    return memory


@pytest.mark.parametrize("kind", [bytearray, memoryview, lambda d: array.array("B", d), mapped])
def test_any_bytes_like_text_and_integer_like_n(kind):
    data = "Perché è già così. Oggi piove molto forte".encode() * 3
    expected = spezzafrasi.periods(data, 2)
    assert spezzafrasi.periods(kind(data), Index()) == expected
    assert list(spezzafrasi.iter_periods(kind(data), Index())) == list(
        spezzafrasi.iter_periods(data, 2))
    segmenter = spezzafrasi.Segmenter(Index())
    assert segmenter.feed(kind(data)) + segmenter.finish() == expected


@pytest.mark.parametrize("buffered", [True, False])
def test_iter_periods_reads_a_binary_file(tmp_path, buffered):
    """Chunk by chunk, with the spans and the fault of the whole text."""
    data = "Perché è già così, «sì»… un · due (tre)\n  Oggi piove? No. ".encode() * 5000 + b"\xe0."
    path = tmp_path / "testo.txt"
    path.write_bytes(data)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        with open(path, "rb", buffering=-1 if buffered else 0) as f:
            got = list(spezzafrasi.iter_periods(f, 3, spans=True))
    assert [tuple(p) for p in got] == model(data, 3)[0]
    assert [(w.message.offset, w.message.line) for w in caught] == [model(data, 3)[1]]


def test_transcribe_as_program_and_its_refusals(tmp_path):
    data = "Perché è già così. Oggi piove molto forte, e domani? Chi sa".encode() * 999
    text = tmp_path / "testo.txt"
    text.write_bytes(data)
    spezzafrasi.transcribe(text, tmp_path / "periodi.txt", 3)
    assert (tmp_path / "periodi.txt").read_bytes() == program_periods(data, 3)
    os.link(text, tmp_path / "stesso.txt")
    refused = [
        (text, text, spezzafrasi.Error),
        (text, tmp_path / "stesso.txt", spezzafrasi.Error),
        (tmp_path / "manca.txt", tmp_path / "x.txt", FileNotFoundError),
        (text, tmp_path / "manca" / "x.txt", FileNotFoundError),
        (text, tmp_path, IsADirectoryError),
    ]
    for source, target, error in refused:
        with pytest.raises(error):
            spezzafrasi.transcribe(source, target)
        assert text.read_bytes() == data


def test_transcribe_of_a_file_cut_short_is_a_read_error(tmp_path):
    """Truncated while transcribe waits on a full pipe: the periods of what
    it held, then an OSError, never a silent success."""
    data = "Perché è già così. Oggi piove molto forte, e domani? Chi sa".encode() * 40_000
    text, pipe_path, raised = tmp_path / "testo.txt", tmp_path / "tubo", []
    text.write_bytes(data)
    os.mkfifo(pipe_path)
    writer = threading.Thread(target=lambda: raised.append(pytest.raises(
        OSError, spezzafrasi.transcribe, text, pipe_path, 3).value))
    writer.start()
    with open(pipe_path, "rb") as pipe:
        os.truncate(text, 1_000_000)
        got = pipe.read()
    writer.join(60)
    assert got == program_periods(data[:1_000_000], 3)
    assert [(e.filename, e.strerror) for e in raised] == [(str(text), "the file shrank while it was read")]


def test_a_child_forked_mid_feed_resets_its_copy():
    """A thread feeds with the GIL released while the process forks: the
    child's copy is half made, says so, and works once reset."""
    segmenter, data = spezzafrasi.Segmenter(3), b"parola " * 2_000_000
    stop = threading.Event()
    feeding = threading.Thread(target=lambda: [segmenter.feed(data) for _ in iter(stop.is_set, True)])
    feeding.start()
    outcomes = []
    try:
        for _ in range(200):
            pid = os.fork()
            if pid == 0:
                try:
                    segmenter.feed(b"x")
                    code = 3  # forked between feeds: try again
                except spezzafrasi.Error:
                    segmenter.reset()
                    code = 0 if segmenter.feed(b"a b c d. e") == b"a b c;\n" else 1
                except BaseException:
                    code = 2
                os._exit(code)
            outcomes.append(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
            if outcomes[-1] != 3:
                break
    finally:
        stop.set()
        feeding.join()
    assert outcomes[-1] == 0, outcomes


@pytest.mark.parametrize("args", [[], ["manca.txt", "-"], ["testo.txt", "-", "3"],
                                  ["testo.txt", "testo.txt"]])
def test_python_m_is_the_program(tmp_path, args):
    (tmp_path / "testo.txt").write_bytes("Oggi piove molto forte. Domani è già".encode())
    def run(command):
        done = subprocess.run(command + args, cwd=tmp_path, capture_output=True, timeout=60)
        return done.returncode, done.stdout, done.stderr
    assert run([sys.executable, "-m", "spezzafrasi"]) == run([PROGRAM])


@pytest.mark.parametrize("name", ["periods", "iter_periods", "transcribe", "Segmenter",
                                  "Segmenter.feed", "Segmenter.finish", "Segmenter.reset"])
def test_signature_and_examples(name):
    target = spezzafrasi
    for part in name.split("."):
        target = getattr(target, part)
    inspect.signature(target)
    examples = doctest.DocTestFinder(recurse=False).find(target, name, globs=vars(spezzafrasi))
    assert sum(len(e.examples) for e in examples) > 0
    for example in examples:
        assert doctest.DocTestRunner().run(example).failed == 0


@pytest.mark.parametrize("as_str", [False, True])
def test_iter_periods_across_chunks(as_str):
    """A text of many of the iterator's chunks, with periods across their
    ends and a fault late in it: the model's periods and spans."""
    piece = "Perché è già così, «sì»… 😀 un · due (tre)\n  Oggi piove molto forte? No. "
    data = (piece * 3000).encode() + (b"" if as_str else b"fine \xe0.\n" + piece.encode() * 10)
    periods, fault = model(data, 3)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        got = list(spezzafrasi.iter_periods(data.decode() if as_str else data, 3, spans=True))
    if as_str:
        point = {b: len(data[:b].decode()) for _, s, e in periods for b in (s, e)}
        periods = [(line.decode(), point[s], point[e]) for line, s, e in periods]
        # periods() encodes a str a piece at a time: whole, and its error
        # placed in the whole text.
        text = data.decode()
        assert spezzafrasi.periods(text, 3) == "".join(line + ";\n" for line, _, _ in periods)
        greek = "Ἀλφα βῆτα γάμμα δέλτα· ε. " * 10000  # more UTF-8 than room for it at first
        assert spezzafrasi.periods(greek, 3) == spezzafrasi.periods(greek.encode(), 3).decode()
        with pytest.raises(UnicodeEncodeError) as raised:
            spezzafrasi.periods(text + "\udc80", 3)
        assert raised.value.start == len(text)
        segmenter = spezzafrasi.Segmenter(3)  # a failed feed takes nothing in
        pytest.raises(UnicodeEncodeError, segmenter.feed, text + "\udc80")
        assert segmenter.feed(text) + segmenter.finish() == spezzafrasi.periods(text, 3)
    assert [tuple(p) for p in got] == periods
    assert [(w.message.offset, w.message.line) for w in caught] == ([fault] if fault else [])


@pytest.mark.parametrize("size", [349_000, 400_000, 3_000_000])
def test_large_bytes_as_program(size):
    """Outputs that may take a MiB or more are written in place: the
    bytes object must still be exactly the periods, of their length."""
    data = (b"Oggi piove molto forte, e domani? Chi sa: forse no.\n  Poi (dicono) il sole. "
            * (size // 77 + 1))[:size]
    got = spezzafrasi.periods(data, 3)
    expected = program_periods(data, 3)
    assert len(got) == len(expected) and got == expected
    assert hash(got) == hash(bytes(bytearray(got))) and got.endswith(b";\n")
