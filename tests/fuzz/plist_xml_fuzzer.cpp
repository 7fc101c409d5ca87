// Property-list bytes as a host reads them from a state file: parsing must refuse or succeed
// without harm, and whatever parses must write back and parse again to an equal value.

#include <string>

#include "format/CFBase.h"
#include "format/PropertyListFile.h"
#include "tests/fuzz/FuzzHost.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace marvex;
    const fuzz::ValueLeakCheck leaks;
    {
        std::string error;
        CFPropertyListRef value = PropertyListFromBytes(data, size, &error);
        if (value == nullptr) {
            if (error.empty()) fuzz::Fail("refused without a message");
        } else {
            std::string xml;
            if (PropertyListToXML(value, xml, &error)) {
                CFPropertyListRef again = PropertyListFromBytes(xml.data(), xml.size(), &error);
                if (again == nullptr) fuzz::Fail("written XML does not parse");
                if (!CFEqual(value, again)) fuzz::Fail("XML round trip changed the value");
                CFRelease(again);
            }
            CFRelease(value);
        }
    }
    leaks.Verify();
    return 0;
}
