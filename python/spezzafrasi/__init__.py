"""A UTF-8 text cut into periods, as the program spezzafrasi cuts it.

Every phrase (the words up to a terminator ! ( ) . : ; ? or the middle
dot) stands on a line of its own, at most its first n words, separated by
single spaces, each line ending with ';'. The segmentation is the C
library's, with the GIL released; ``python -m spezzafrasi NOMEFILE1
NOMEFILE2 [n]`` runs the program itself.

>>> import spezzafrasi
>>> spezzafrasi.periods("Oggi piove molto forte. Domani no.", 3)
'Oggi piove molto;\\nDomani no;\\n;\\n'
"""

from spezzafrasi._spezzafrasi import Error as Error
from spezzafrasi._spezzafrasi import NotUTF8Warning as NotUTF8Warning
from spezzafrasi._spezzafrasi import Period as Period
from spezzafrasi._spezzafrasi import Segmenter as Segmenter
from spezzafrasi._spezzafrasi import __version__ as __version__
from spezzafrasi._spezzafrasi import iter_periods as iter_periods
from spezzafrasi._spezzafrasi import periods as periods
from spezzafrasi._spezzafrasi import transcribe as transcribe

__all__ = [
    "Error",
    "NotUTF8Warning",
    "Period",
    "Segmenter",
    "iter_periods",
    "periods",
    "transcribe",
]
