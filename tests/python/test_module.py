"""The module against the program: the same periods for the same text and
n, whole or fed in random pieces, from str and from bytes."""
import os
import subprocess

import pytest
from hypothesis import given, settings, strategies as st

import spezzafrasi

PROGRAM = os.environ["SPEZZAFRASI_PROGRAM"]


def program_periods(data, n):
    """What the program writes for `data` (bytes) and n."""
    run = subprocess.run([PROGRAM, "-", "-", str(n)], input=data, capture_output=True,
                         timeout=60, check=True)
    return run.stdout


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


@settings(max_examples=150, deadline=None)
@given(text=texts, n=counts, cuts=st.lists(st.floats(0, 1), max_size=8))
def test_str_as_program(text, n, cuts):
    expected = program_periods(text.encode(), n).decode()
    assert spezzafrasi.periods(text, n) == expected
    segmenter = spezzafrasi.Segmenter(n)
    fed = [segmenter.feed(piece) for piece in pieces(text, cuts)]
    assert all(part == "" or part.endswith(";\n") for part in fed)
    assert "".join(fed) + segmenter.finish() == expected
    assert list(spezzafrasi.iter_periods(text, n)) == [
        line[:-1] for line in expected.split("\n")[:-1]]


@settings(max_examples=150, deadline=None)
@given(data=raw, n=counts, cuts=st.lists(st.floats(0, 1), max_size=8))
def test_bytes_as_program(data, n, cuts):
    expected = program_periods(data, n)
    assert spezzafrasi.periods(data, n) == expected
    assert spezzafrasi.periods(data, n, crlf=True) == expected.replace(b";\n", b";\r\n")
    segmenter = spezzafrasi.Segmenter(n, crlf=True)
    fed = b"".join(segmenter.feed(piece) for piece in pieces(data, cuts)) + segmenter.finish()
    assert fed == expected.replace(b";\n", b";\r\n")


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
