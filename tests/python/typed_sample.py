"""Every call of the package as a typed program makes it: mypy --strict
checks this file against the package's stubs."""
import io
import warnings

import spezzafrasi


def every_call(path: str) -> list[object]:
    text: str = spezzafrasi.periods("Oggi piove. Domani no", 3)
    data: bytes = spezzafrasi.periods(bytearray(b"Oggi piove."), crlf=True)
    words: list[str] = list(spezzafrasi.iter_periods("Oggi piove."))
    raw: list[bytes] = list(spezzafrasi.iter_periods(io.BytesIO(b"Oggi piove.")))
    spans = [(p.period, p.start, p.end) for p in spezzafrasi.iter_periods(b"x.", spans=True)]
    spezzafrasi.transcribe(path, path + ".periodi", 3, crlf=False)
    segmenter = spezzafrasi.Segmenter(3, crlf=False, binary=True)
    fed: bytes = segmenter.feed(memoryview(b"Oggi piove"))
    rest = segmenter.finish()
    segmenter.reset()
    try:
        spezzafrasi.transcribe(path, path)
    except spezzafrasi.Error as error:
        rest = str(error)
    with warnings.catch_warnings(record=True) as caught:
        spezzafrasi.periods(b"\xe0")
    faults = [(w.message.offset, w.message.line) for w in caught
              if isinstance(w.message, spezzafrasi.NotUTF8Warning)]
    return [text, data, words, raw, spans, fed, rest, faults, spezzafrasi.__version__]
