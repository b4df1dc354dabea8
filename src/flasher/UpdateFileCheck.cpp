#include "flasher/UpdateFileCheck.h"

namespace zm880::flasher {

UpdateFileCheck CheckUpdateFile(const std::string& path) {
    FirmwareImage image;
    UpdateFileCheck check;
    check.read = ReadUpdateFile(path, image);
    check.pagesFilled = check.read.ok() ? check.read.pagesTouched.count() : 0;
    return check;
}

std::string NoDataReason() {
    return "the update file holds no data for flash 0x1400-0x3BFF; sending it would erase the "
           "firmware";
}

std::string PartialFileWarning(const std::string& path, std::size_t pagesFilled) {
    const std::size_t erased = kPageCount - pagesFilled;
    return path + " fills only " + std::to_string(pagesFilled) + " of the " +
           std::to_string(kPageCount) + " firmware pages; the other " + std::to_string(erased) +
           (erased == 1 ? " page is" : " pages are") + " erased by the update";
}

}  // namespace zm880::flasher
