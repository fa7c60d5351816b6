// The stb PNG reader, as an independent reference for our decoder. Third-party: no warnings.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
