#include "update/status.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "module_folder.h"
#include "platform/exceptions.h"
#include "platform/locale.h"
#include "platform/utf8.h"
#include "temp_folder.h"
#include "update/constants.h"
#include "update/file_utils.h"

namespace {

int BarAt(int status, int percent) {
    SetStatus(status, percent);
    int gotStatus, gotPercent, bar;
    GetStatus(&gotStatus, &gotPercent, &bar);
    EXPECT_EQ(gotStatus, status);
    EXPECT_EQ(gotPercent, percent);
    SetStatus(0, 0);
    return bar;
}

std::string ReadableName(const CString& path) { return WideToUtf8(path); }

CString StatusText(UINT id, int percent, DWORD speed) {
    CString text;
    text.Format(id, percent, speed >> 10);
    return text;
}

}  // namespace

TEST(StatusBar, MapsEachStageToItsBandAndTruncates) {
    ResetEngineState();
    EXPECT_EQ(BarAt(STATUS_UPDATE_LAUNCHER, 100), 255);
    EXPECT_EQ(BarAt(STATUS_UPDATE_LAUNCHER, 50), 127);
    EXPECT_EQ(BarAt(STATUS_CHECK_CLIENT, 99), 42) << "truncated, not rounded";
    EXPECT_EQ(BarAt(STATUS_CHECK_CLIENT, 100), 43);
    EXPECT_EQ(BarAt(STATUS_DOWNLOAD_TORRENTS, -1), 43);
    EXPECT_EQ(BarAt(STATUS_DOWNLOAD_PATCH, -1), 43) << "no percent yet";
    EXPECT_EQ(BarAt(STATUS_DOWNLOAD_PATCH, 100), 86);
    EXPECT_EQ(BarAt(STATUS_EXTRACT_PATCH, 50), 107);
    EXPECT_EQ(BarAt(STATUS_INSTALL_PATCH, 0), 129);
    EXPECT_EQ(BarAt(STATUS_EXTRACT_RESOURCES, 100), 215);
    EXPECT_EQ(BarAt(STATUS_READY, -1), 255);
    for (int status : {0, STATUS_CHECK_LAUNCHER, STATUS_STOPPED, STATUS_ERROR, STATUS_RESTART})
        EXPECT_EQ(BarAt(status, 50), 0) << status;
}

TEST(FailureRecord, TheInnermostFailureWinsAndKeepsItsMessage) {
    ResetEngineState();
    OverrideUserLanguage(UserLanguage::English);
    try {
        try {
            ThrowUpdateError(286, IDS_ERR_CLIENT_FILES);
        } catch (CException* e) {
            e->Delete();
            ThrowUpdateError(290, IDS_ERR_DOWNLOAD);
        }
        FAIL() << "ThrowUpdateError returned";
    } catch (CUserException* e) {
        e->Delete();
    }
    EXPECT_EQ(g_nErrorCode, 286);
    EXPECT_EQ(GetErrorMessage(),
              L"An error has occured during the access to the game client files!\n"
              L"Files could be damaged or blocked by other application or antivirus.");

    // A message id without a string still records the number.
    ResetEngineState();
    try {
        ThrowUpdateError(404, 2003);
    } catch (CException* e) {
        e->Delete();
    }
    EXPECT_EQ(g_nErrorCode, 404);
    EXPECT_TRUE(GetErrorMessage().IsEmpty());
    ClearUserLanguageOverride();
    ResetEngineState();
}

TEST(StatusEnd, SavesAResumeRecordOnlyWhenEndingDuringStagesFiveToEight) {
    ModuleTempFolder temp;
    SetStatus(STATUS_EXTRACT_PATCH, 30);
    SetStatus(STATUS_ERROR, -1);
    std::string record = ReadTestFile(temp.ResumePath());
    ASSERT_EQ(record.size(), 16u);
    EXPECT_EQ(record.substr(8, 4), std::string("\x06\0\0\0", 4));
    int status, percent, bar;
    GetStatus(&status, &percent, &bar);
    EXPECT_EQ(status, STATUS_ERROR);
    EXPECT_EQ(percent, -1);

    // Ending during the scan (or from any status outside 5 to 8) leaves no record.
    for (int from : {STATUS_CHECK_CLIENT, STATUS_DOWNLOAD_TORRENTS, STATUS_READY}) {
        ASSERT_EQ(std::remove(ReadableName(temp.ResumePath()).c_str()), 0);
        SetStatus(from, 0);
        SetStatus(STATUS_STOPPED, -1);
        EXPECT_FALSE(TestPathExists(temp.ResumePath())) << from;
        WriteTestFile(temp.ResumePath(), "");
    }

    // A stop during stage 8 saves too, and the save fails silently without a scratch folder.
    SetStatus(STATUS_EXTRACT_RESOURCES, 10);
    SetStatus(STATUS_STOPPED, -1);
    EXPECT_EQ(ReadTestFile(temp.ResumePath()).substr(8, 1), "\x08");
    std::filesystem::remove_all(ReadableName(GetModuleDir() + kTempDir));
    SetStatus(STATUS_INSTALL_PATCH, 10);
    SetStatus(STATUS_ERROR, -1);
    EXPECT_FALSE(TestPathExists(temp.ResumePath()));
}

TEST(StatusText, FormatsEveryStatusInBothLanguages) {
    OverrideUserLanguage(UserLanguage::English);
    EXPECT_EQ(StatusText(2100, -1, 0), L"Checking version of launcher...");
    EXPECT_EQ(StatusText(2101, 7, 0), L"Updating launcher: 7%");
    EXPECT_EQ(StatusText(2102, 100, 0), L"Checking version of client: 100%");
    EXPECT_EQ(StatusText(2103, -1, 0), L"Downloading torrent-files...");
    EXPECT_EQ(StatusText(2104, 42, 1048575), L"Downloading patch for client: 42% (1023 kB/s)");
    EXPECT_EQ(StatusText(2105, 0, 0), L"Extracting patch for client: 0%");
    EXPECT_EQ(StatusText(2106, 99, 0), L"Installing patch for client: 99%");
    EXPECT_EQ(StatusText(2107, 50, 0), L"Extracting client's resources: 50%");
    EXPECT_EQ(StatusText(2108, -1, 0), L"Everything is ready to enter the zone!");
    EXPECT_EQ(StatusText(2109, -1, 0), L"An error occurred during the update!");

    OverrideUserLanguage(UserLanguage::Russian);
    EXPECT_EQ(StatusText(2100, -1, 0), L"Проверка версии загрузчика...");
    EXPECT_EQ(StatusText(2101, 7, 0), L"Обновление загрузчика игры: 7%");
    EXPECT_EQ(StatusText(2102, 100, 0), L"Проверка версии клиента: 100%");
    EXPECT_EQ(StatusText(2103, -1, 0), L"Загрузка торрент-файла обновления...");
    EXPECT_EQ(StatusText(2104, 42, 1048575), L"Загрузка обновления клиента: 42% (1023 КБ/с)");
    EXPECT_EQ(StatusText(2105, 0, 0), L"Распаковка обновления клиента: 0%");
    EXPECT_EQ(StatusText(2106, 99, 0), L"Установка обновления клиента: 99%");
    EXPECT_EQ(StatusText(2107, 50, 0), L"Распаковка ресурсов клиента: 50%");
    EXPECT_EQ(StatusText(2108, -1, 0), L"Всё готово для входа в зону!");
    EXPECT_EQ(StatusText(2109, -1, 0), L"Возникла ошибка в процессе обновления!");
    ClearUserLanguageOverride();
}
