// Releasing the items of the shared pointer list.
#include "vxutil.h"

extern "C" {

void VxClearList(VxList& list) {
    // Items go from the front, as they were listed; releasing them all before
    // shrinking the list keeps a table of many thousand groups linear.
    for (auto& item : list)
        item.reset();
    list.clear();
}

} // extern "C"
