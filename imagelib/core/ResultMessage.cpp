#include "Result.h"

namespace tfi {

const char* resultMessage(Result result) {
    switch (result) {
    case ERCI_OK: return "Converted";
    case ERCI_ERR_INVALID_ARGUMENT: return "Missing source or destination path";
    case ERCI_ERR_READ_SOURCE: return "Cannot read the source file";
    case ERCI_ERR_UNSUPPORTED_SOURCE: return "The source is neither a PNG image nor an icon";
    case ERCI_ERR_CORRUPT_SOURCE: return "The source image is damaged";
    case ERCI_ERR_TOO_LARGE: return "The image is too large";
    case ERCI_ERR_BAD_OPTION: return "The conversion option is not understood";
    case ERCI_ERR_BAD_DESTINATION: return "The destination must end in .ico or .png";
    case ERCI_ERR_WRITE_DESTINATION: return "Cannot write the destination file";
    case ERCI_ERR_OUT_OF_MEMORY: return "Not enough memory";
    }
    return "Unknown result";
}

} // namespace tfi
