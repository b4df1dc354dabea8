#include "app/CfgPathStore.h"

namespace zm880::app {

std::shared_ptr<CfgPathStore> MakeSystemCfgPathStore() {
    return std::make_shared<SettingsCfgPathStore>();
}

}  // namespace zm880::app
