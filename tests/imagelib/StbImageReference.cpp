// The stb PNG and BMP readers, as an independent reference for our decoders. Third-party: no warnings.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#include <stb_image.h>
