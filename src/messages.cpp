#include "messages.hpp"

#include "spezzafrasi_version.h"

namespace spezzafrasi {

namespace {

std::string cause(const FileProblem& problem) {
    switch (problem.error) {
    case FileError::Missing:
        return "file inesistente";
    case FileError::MissingFolder:
        return "cartella inesistente nel percorso";
    case FileError::IsFolder:
        return "è una cartella";
    case FileError::Denied:
        return "permesso negato";
    case FileError::InUse:
        return "in uso da un altro programma";
    case FileError::IsInput:
        return "è il file di ingresso";
    case FileError::DiskFull:
        return "disco pieno";
    case FileError::ReadFault:
        return "errore di lettura del dispositivo";
    case FileError::WriteFault:
        return "errore di scrittura del dispositivo";
    case FileError::BadName:
        return "nome non valido";
    case FileError::Shrunk:
        return "il file si è accorciato durante la lettura";
    case FileError::Closed:
        return "flusso standard chiuso";
    case FileError::None:
    case FileError::Other:
        break;
    }
    return "errore del sistema (codice " + std::to_string(problem.system_code) + ")";
}

} // namespace

std::string_view usage_text() {
    return "\nUtilizzo:\nspezzafrasi nomefile1 nomefile2\n"
           "oppure:\nspezzafrasi nomefile1 nomefile2 n\n"
           "\nLegge il file di input <nomefile1> e ne trascrive il contenuto\n"
           "nel file <nomefile2>, evidenziando le prime n parole (7 se non specificato)\n\n\n";
}

// The kernel too, for a bug report: SPEZZAFRASI_KERNEL may name another.
std::string version_text(std::string_view kernel_name) {
    return "spezzafrasi " SPEZZAFRASI_VERSION_STRING "\nkernel: " + std::string(kernel_name) + "\n";
}

std::string progress_line(std::string_view input_name, std::string_view output_name,
                          std::int32_t words_per_period) {
    return "Periodizzazione in corso da " + std::string(input_name) + " a " +
           std::string(output_name) + ", con " + std::to_string(words_per_period) +
           " parole per periodo\n";
}

std::string done_line(std::string_view output_name) {
    return "Periodizzato in " + std::string(output_name) + "\n";
}

std::string_view failure_line(Failure failure) {
    switch (failure) {
    case Failure::OpenInput:
        return "Errore apertura file input\n";
    case Failure::OpenOutput:
        return "Errore apertura file output\n";
    case Failure::Read:
        return "Errore lettura file input\n";
    case Failure::Write:
        break;
    }
    return "Errore scrittura file output\n";
}

std::string cause_line(std::string_view name, const FileProblem& problem) {
    return "spezzafrasi: " + std::string(name) + ": " + cause(problem) + "\n";
}

std::string not_utf8_line(std::string_view name, std::uint64_t offset, std::uint64_t line) {
    return "spezzafrasi: " + std::string(name) +
           ": non è testo UTF-8 valido (primo errore al byte " + std::to_string(offset + 1) +
           ", riga " + std::to_string(line) + "); le frasi vicine possono risultare unite\n";
}

} // namespace spezzafrasi
