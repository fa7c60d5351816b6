// The product's name and version, for the version resources and the code alike.
#pragma once

#define TARNEL_PRODUCT_NAME "Tarnel Free PNG to ICO Converter"
#define TARNEL_VERSION_NUMBERS 1, 0, 0, 0
#define TARNEL_VERSION_TEXT "1.0.0.0"
