// OLE on the user-interface thread: the entry point holds a session around the main dialog, so
// that the folder browser and the shell's "open" reach namespace extensions that need it.
#include "app/OleSession.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

namespace {

bool hasApartment() {
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return CoGetApartmentType(&type, &qualifier) == S_OK && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
}

TEST(OleSession, TheThreadHasAnApartmentWhileTheSessionLivesAndNoneAfter) {
    std::thread([] {
        EXPECT_FALSE(hasApartment());
        {
            OleSession ole;
            EXPECT_TRUE(ole.started());
            EXPECT_TRUE(hasApartment());
        }
        EXPECT_FALSE(hasApartment());
    }).join();
}

} // namespace
