"""The module against the program: the same periods for the same text and
n, whole or fed in random pieces, from str and from bytes; and against a
plain model of the rules, where each period comes from and where the text
stops being UTF-8."""
import os
import subprocess
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
    lambda: spezzafrasi.periods(bytearray(b"a")),
    lambda: spezzafrasi.periods("a", "7"),
    lambda: spezzafrasi.periods("a", 7.0),
    lambda: spezzafrasi.iter_periods(None),
    lambda: spezzafrasi.Segmenter("7"),
    lambda: spezzafrasi.Segmenter().feed(memoryview(b"a")),
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
