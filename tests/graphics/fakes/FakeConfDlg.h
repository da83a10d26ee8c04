#pragma once
// What a stand-in dialog module saw, read back by the tests through its FakeConfDlgGetState export.

#include "devices/ConfigDialogRecord.h"

struct FakeConfDlgState {
    int bannerWidth;                                // of the banner the module looked up, 0 when none
    int displays[trivale::kConfigMaxAdapters + 1];  // per record index, as the display lookup gave them
    trivale::CONFIG_INFO lastInfo;
};
