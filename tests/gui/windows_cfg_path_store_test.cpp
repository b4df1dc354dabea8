#include <windows.h>

#include <QTest>

#include <random>
#include <string>

#include "app/CfgPathStore.h"

using zm880::app::RegistryCfgPathStore;
using zm880::hid::RegistryValue;

// The window's remembered configuration path on Windows, on a key of its own under
// HKEY_CURRENT_USER so that the test needs no administrator and touches nothing of the program.
class WindowsCfgPathStoreTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void pathIsStoredWithBackslashesAndReadBack();
    void missingKeyOrValueOfAnotherTypeReadsEmpty();

  private:
    std::string key_;
    RegistryValue value_;
};

void WindowsCfgPathStoreTest::init() {
    key_ = "Software\\zm880-gui-tests-" + std::to_string(std::random_device{}());
    value_ = {RegistryValue::Root::CurrentUser, key_, "CfgPath"};
}

void WindowsCfgPathStoreTest::cleanup() {
    RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str());
}

void WindowsCfgPathStoreTest::pathIsStoredWithBackslashesAndReadBack() {
    RegistryCfgPathStore(value_).WriteCfgPath("C:/cfg/reader ä.cfg");
    QCOMPARE(RegistryCfgPathStore(value_).ReadCfgPath(), QString("C:\\cfg\\reader ä.cfg"));
}

void WindowsCfgPathStoreTest::missingKeyOrValueOfAnotherTypeReadsEmpty() {
    RegistryCfgPathStore store(value_);
    QCOMPARE(store.ReadCfgPath(), QString());

    HKEY key = nullptr;
    QCOMPARE(RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, &key, nullptr),
             LSTATUS(ERROR_SUCCESS));
    const DWORD number = 7;
    RegSetValueExA(key, "CfgPath", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(key);
    QCOMPARE(store.ReadCfgPath(), QString());
}

QTEST_MAIN(WindowsCfgPathStoreTest)
#include "windows_cfg_path_store_test.moc"
