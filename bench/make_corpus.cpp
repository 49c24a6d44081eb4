// Writes Italian-like prose of the requested size to standard output:
// words from a fixed list, with punctuation, accents, apostrophes, quotes,
// line breaks and the occasional multi-byte symbol at rates close to real
// text. The same size always gives the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view words[] = {
    "il",          "la",         "di",         "che",        "e",
    "è",           "un",         "una",        "per",        "non",
    "con",         "si",         "da",         "in",         "del",
    "della",       "le",         "i",          "gli",        "al",
    "alla",        "nel",        "sono",       "era",        "anche",
    "più",         "perché",     "così",       "già",        "può",
    "città",       "università", "caffè",      "virtù",      "tempo",
    "giorno",      "anno",       "casa",       "mondo",      "vita",
    "mano",        "parte",      "strada",     "paese",      "sera",
    "mattina",     "notte",      "fiume",      "montagna",   "mare",
    "finestra",    "porta",      "tavola",     "libro",      "lettera",
    "parola",      "storia",     "lavoro",     "famiglia",   "madre",
    "padre",       "figlio",     "fratello",   "sorella",    "amico",
    "gente",       "bambini",    "vecchio",    "giovane",    "bello",
    "grande",      "piccolo",    "lungo",      "nuovo",      "ultimo",
    "primo",       "altro",      "stesso",     "ogni",       "molto",
    "poco",        "sempre",     "mai",        "ancora",     "ormai",
    "dopo",        "prima",      "sopra",      "sotto",      "dentro",
    "fuori",       "verso",      "senza",      "tra",        "fra",
    "quando",      "mentre",     "dove",       "come",       "allora",
    "quindi",      "però",       "tuttavia",   "infatti",    "diceva",
    "pensava",     "guardava",   "sapeva",     "voleva",     "poteva",
    "andava",      "tornava",    "aspettava",  "rispose",    "disse",
    "vide",        "fece",       "prese",      "lasciò",     "arrivò",
    "partì",       "capì",       "sentì",      "cominciò",   "finì",
    "bisognava",   "sembrava",   "parlavano",  "correvano",  "ricordare",
    "dimenticare", "camminare",  "lentamente", "finalmente", "improvvisamente",
    "forse",       "sì",         "no",         "niente",     "qualcosa",
    "nessuno",     "tutti",      "questo",     "quello",     "qui",
    "lì",          "là",         "oggi",       "domani",     "ieri",
    "pioggia",     "sole",       "vento",      "neve",       "cielo",
    "terra",       "acqua",      "fuoco",      "pane",       "vino",
    "olio",        "sale",       "caffè",      "tè",         "perciò",
    "benché",
};
constexpr std::string_view elided[] = {"l'", "dell'", "all'", "un'", "nell'", "dall'", "quest'"};
constexpr std::string_view rare[] = {"😀", "€", "…", "·", "«", "»", "–", "°", "’", "ñ", "ü"};

struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        state += 0x9E3779B97F4A7C15u;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool one_in(std::size_t n) { return below(n) == 0; }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_corpus MEGABYTES > corpus.txt\n", stderr);
        return 2;
    }
    const auto target = static_cast<std::size_t>(std::strtod(argv[1], nullptr) * 1e6);
    Random random{42};
    std::string text;
    std::size_t written = 0;
    std::size_t line = 0;
    bool sentence_start = true;
    while (written < target) {
        text.clear();
        if (random.one_in(12)) text += elided[random.below(std::size(elided))];
        std::string word(words[random.below(std::size(words))]);
        if (sentence_start && word[0] >= 'a' && word[0] <= 'z')
            word[0] = static_cast<char>(word[0] - 32);
        text += word;
        if (random.one_in(400)) text += rare[random.below(std::size(rare))];
        if (random.one_in(300)) text.insert(0, 1, '(');
        sentence_start = false;
        const std::size_t mark = random.below(100);
        if (mark < 9) {
            text += ",";
        } else if (mark < 15) {
            text += ".";
            sentence_start = true;
        } else if (mark < 16) {
            text += random.one_in(2) ? "?" : "!";
            sentence_start = true;
        } else if (mark < 17) {
            text += random.one_in(2) ? ":" : ";";
        } else if (mark < 18) {
            text += random.one_in(3) ? "..." : ")";
        }
        line += text.size() + 1;
        if (sentence_start && random.one_in(8)) {
            text += "\n\n";
            line = 0;
        } else if (line > 72) {
            text += "\n";
            line = 0;
        } else {
            text += " ";
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
        written += text.size();
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
