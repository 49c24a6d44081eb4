#include "diagnostics.hpp"

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

std::string cause_line(std::string_view name, const FileProblem& problem) {
    return "spezzafrasi: " + std::string(name) + ": " + cause(problem) + "\n";
}
