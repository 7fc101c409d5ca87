#include "view/NSObject.h"

NSObject* NSObject::retain() {
    mRetainCount.fetch_add(1, std::memory_order_relaxed);
    return this;
}

void NSObject::release() {
    // acq_rel so that every write made through other references happens before dealloc.
    if (mRetainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) dealloc();
}

void NSObject::dealloc() {
    delete this;
}
