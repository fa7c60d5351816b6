/* TarnelFreeImage: converts one image file between PNG and the Windows icon format.
 *
 * gf_convertImage_OneFile(source, destination, option)
 *   Converts the source file into the destination file, in the format that the destination's
 *   extension names (".ico": icon, ".png": PNG; any letter case), and returns when done.
 *   The source format is read from the file's content, not its name. The destination is
 *   written to a temporary file beside it and moved into place only when complete: a failed
 *   conversion leaves no file behind and an existing destination untouched.
 *   All three arguments are NUL-terminated UTF-16 strings; option may be empty.
 */
#ifndef TARNEL_FREE_IMAGE_H
#define TARNEL_FREE_IMAGE_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(TARNEL_FREE_IMAGE_BUILD)
#    define TFI_API __declspec(dllexport)
#  else
#    define TFI_API __declspec(dllimport)
#  endif
#else
#  define TFI_API
#endif

enum _tag_ERCI_RESULT {
    ERCI_OK = 0,
    ERCI_ERR_INVALID_ARGUMENT = 1,   /* a null or empty path */
    ERCI_ERR_READ_SOURCE = 2,        /* the source cannot be opened or read */
    ERCI_ERR_UNSUPPORTED_SOURCE = 3, /* the source is neither a PNG nor an icon */
    ERCI_ERR_CORRUPT_SOURCE = 4,     /* a PNG or icon whose content is damaged or inconsistent */
    ERCI_ERR_TOO_LARGE = 5,          /* dimensions, entry count or memory above the library's caps */
    ERCI_ERR_BAD_OPTION = 6,         /* the option string is not understood */
    ERCI_ERR_BAD_DESTINATION = 7,    /* the destination's extension is neither .ico nor .png */
    ERCI_ERR_WRITE_DESTINATION = 8,  /* the destination is read-only, or cannot be written or moved into place */
    ERCI_ERR_OUT_OF_MEMORY = 9
};

#if defined(_WIN32)
TFI_API enum _tag_ERCI_RESULT gf_convertImage_OneFile(const wchar_t* source, const wchar_t* destination,
                                                      const wchar_t* option);
#endif

/* A short English text for a result, for messages; never null. */
TFI_API const char* gf_resultMessage(enum _tag_ERCI_RESULT result);

#ifdef __cplusplus
}
#endif

#endif
