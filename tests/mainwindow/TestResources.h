// Resources that only the tests carry, beside the program's own.
#pragma once

#define IDR_TEST_UNDECODABLE 900
