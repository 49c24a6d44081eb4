"""The Python module measured in one process, for bench/library.sh: CPU
time of spezzafrasi.periods over many documents held in memory (bytes and
str), or over one large text (also set with typographic quotes, bytes and
str); the wall time of two large texts cut by one thread after the
other, then by two threads side by side (bytes, then str); and a str's
encoding and its periods' decoding alone.

usage: api_bench.py docs LIST ROUNDS | large FILE ROUNDS [OUT]
       api_bench.py spawn LIST PROGRAM: the CPU time (this process's and
       its children's) of one subprocess.run of the program per document,
       as a Python user without the module runs it."""
import resource
import subprocess
import sys
import threading
import time

import spezzafrasi


def best_of(rounds, work, clock=time.process_time):
    best = float("inf")
    for _ in range(rounds):
        start = clock()
        work()
        best = min(best, clock() - start)
    return best


def each_dropped(texts):
    """Each text's periods, let go before the next text's, as the C bench
    reuses one buffer: a list of every result would measure 100 MB of
    fresh memory instead."""
    periods = spezzafrasi.periods
    for text in texts:
        periods(text)


def spawn_each(names, program):
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.process_time()
    for name in names:
        with open(name, "rb") as text:
            subprocess.run([program, "-", "-"], input=text.read(), capture_output=True, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (time.process_time() - start + after.ru_utime - children.ru_utime
            + after.ru_stime - children.ru_stime)


def segmenter(rounds):
    """A long period fed to a Segmenter in pieces of 4 KiB, against one
    call: 16 MB of one word, then a word list of 16 MB (one period, n = 1)."""
    figures = []
    for text in (b"a" * 16_000_000, b"parola\n" * 2_285_714):
        one_call = best_of(rounds, lambda: spezzafrasi.periods(text, 1))

        def fed():
            pieces = spezzafrasi.Segmenter(1)
            for at in range(0, len(text), 4096):
                pieces.feed(text[at:at + 4096])
            pieces.finish()
        figures += [one_call, best_of(rounds, fed)]
    return figures


def main():
    if sys.argv[1] == "segmenter":
        print("%.6f %.6f %.6f %.6f" % tuple(segmenter(int(sys.argv[2]))))
        return
    if sys.argv[1] == "spawn":
        with open(sys.argv[2], encoding="utf-8") as names:
            names = [name.rstrip("\n") for name in names]
        print("%.6f %d" % (spawn_each(names, sys.argv[3]), len(names)))
        return
    mode, source, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
    if mode == "docs":
        with open(source, encoding="utf-8") as names:
            texts = [open(name.rstrip("\n"), "rb").read() for name in names]
    else:
        texts = [open(source, "rb").read()]
    strings = [text.decode("utf-8") for text in texts]
    as_bytes = best_of(rounds, lambda: each_dropped(texts))
    as_str = best_of(rounds, lambda: each_dropped(strings))
    if mode == "docs":
        print("%.6f %.6f %d" % (as_bytes, as_str, len(texts)))
        return
    if len(sys.argv) > 4:
        with open(sys.argv[4], "wb") as out:
            out.write(spezzafrasi.periods(texts[0]))
    # The text as a publisher sets it, with typographic quotes: a str of
    # two bytes a character, against the same as bytes.
    typeset = strings[0].replace("'", "\u2019").replace('"', "\u201c")
    typeset_bytes = typeset.encode()
    figures = [as_bytes, as_str, best_of(rounds, lambda: spezzafrasi.periods(typeset_bytes)),
               best_of(rounds, lambda: spezzafrasi.periods(typeset))]
    del typeset, typeset_bytes
    for text in (texts[0], strings[0]):
        figures += threads(rounds, text)
    # Where a str's time goes beside the cut: its UTF-8, and the periods'
    # way back into a str.
    periods = spezzafrasi.periods(texts[0])
    figures += [best_of(rounds, strings[0].encode), best_of(rounds, periods.decode)]
    print(" ".join("%.6f" % figure for figure in figures))


def threads(rounds, text):
    """Wall time of two texts cut by one thread after the other, and by
    two threads side by side."""
    one_thread = best_of(rounds, lambda: (spezzafrasi.periods(text), spezzafrasi.periods(text)),
                         time.perf_counter)

    def two_threads():
        threads = [threading.Thread(target=spezzafrasi.periods, args=(text,)) for _ in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    return [one_thread, best_of(rounds, two_threads, time.perf_counter)]


main()
