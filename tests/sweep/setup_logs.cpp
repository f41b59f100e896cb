// Sweep setups of the logs and language: a package with its language transform and library, the
// user files from a response file, the dialogs' log open and closed, and log folders recorded in a
// data folder's configuration.
#include "zebsweep.h"

#include <winsim/sim.h>

namespace {

void TempFolder(void) {
    winsim::fs::MakeDirs("C:\\Temp");
    winsim::msi::SetProperty("TempFolder", "C:\\Temp\\");
}

} // namespace

ZEB_SWEEP_SETUP(iwiStartLogs, "language transform and library, files from a response file") {
    TempFolder();
    setup.Tables("Key\tText\ns72\tL255\nUIText\tKey\nZEB__setup_language\tg\n");
    winsim::msi::DefineStandardTable("Binary");
    winsim::msi::AddRow("Binary",
                        {winsim::msi::Field::str("zebircgn.dll"),
                         winsim::msi::Field::stream(winsim::fs::MakeStringTable({{2031, "Sprache?"}}))});
    winsim::fs::MakeDirs("C:\\Logs");
    winsim::fs::WriteFile("C:\\Cfg\\resp.ini",
                          "[Response]\r\nINSTALLTRACE=C:\\Logs\\hx.trc\r\nINSTALLLOG=\r\n");
    winsim::msi::SetProperty("USEINI", "C:\\Cfg\\resp.ini");
    winsim::msi::SetProperty("SystemLanguageID", "1031");
}

ZEB_SWEEP_SETUP(iwiSetTempLogPath, "temporary folder with a stale log") {
    TempFolder();
    winsim::fs::WriteFile("C:\\Temp\\zebg0001.txt", "stale\r\n");
    winsim::msi::SetProperty("ZEBTEMPFILENUM", "0001");
}

ZEB_SWEEP_SETUP(iwiUnSetTempLogPath, "dialogs' log to merge") {
    TempFolder();
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    winsim::msi::SetProperty("ZEBTEMPFILENUM", "0001");
    winsim::msi::SetProperty("ZEBTEMPLOGPATH", "C:\\Temp\\zebg0001.txt");
    winsim::fs::WriteFile("C:\\Temp\\zebg0001.txt", "one\r\ntwo\r\n");
}

ZEB_SWEEP_SETUP(iwiFindExistingLogFolder, "log folder in the data folder's configuration") {
    winsim::msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
    winsim::fs::WriteFile("C:\\HXData\\config\\Config.reg",
                          "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"LogDefaultPath\"=\"G:\\\\Logs\"\r\n");
}

ZEB_SWEEP_SETUP(iwiRecalcLogFolder, "no previous folder, configuration in the new data folder") {
    winsim::msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
    winsim::msi::SetProperty("ZEBLASTLOG", "D:\\LastLogs");
    winsim::fs::WriteFile("C:\\HXData\\HXS.INI", "LogDefaultPath=E:\\Logs\r\n");
}
