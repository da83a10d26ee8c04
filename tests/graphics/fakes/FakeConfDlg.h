#pragma once
// What a stand-in dialog module saw, read back by the tests through its FakeConfDlgGetState export.

#include "devices/ConfigDialogRecord.h"

struct FakeConfDlgState {
    int bannerWidth;  // of the banner the module looked up, 0 when none
    trivale::CONFIG_INFO lastInfo;
};
