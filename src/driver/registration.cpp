// Registers the copied driver with the spooler and adds a printer that uses it.
#include "scrivox.h"

#include <winspool.h>

int AddDriverAndPrinter(void)
{
    // The spooler's records take LPSTR: every text they point to is a
    // writable local copy. File names are bare: the files are already in the
    // spooler's driver directory.
    char driverName[] = DRIVER_NAME;
    char environment[] = "Windows NT x86";
    char driverPath[] = DRIVER_FILE_NAME;
    char dataFile[] = DATA_FILE_NAME;
    char configFile[] = CONFIG_FILE_NAME;
    char helpFile[] = "";
    char dependentFiles[] =
        DRIVER_FILE_NAME "\0" CONFIG_FILE_NAME "\0" HELPER_FILE_NAME "\0" DATA_FILE_NAME "\0";
    char dataType[] = "RAW";

    DRIVER_INFO_3A driver = {};
    driver.cVersion = 2024;
    driver.pName = driverName;
    driver.pEnvironment = environment;
    driver.pDriverPath = driverPath;
    driver.pDataFile = dataFile;
    driver.pConfigFile = configFile;
    driver.pHelpFile = helpFile;
    driver.pDependentFiles = dependentFiles;
    driver.pMonitorName = NULL;
    driver.pDefaultDataType = dataType;
    // An already registered driver is fine; whether the printer can be added decides.
    AddPrinterDriverA(NULL, 3, (LPBYTE)&driver);

    char portName[] = "LPT1:";
    char printProcessor[] = "WinPrint";

    PRINTER_INFO_2A printer = {};
    printer.pPrinterName = driverName;
    printer.pPortName = portName;
    printer.pDriverName = driverName;
    printer.pPrintProcessor = printProcessor;
    printer.pDatatype = dataType;

    // The handle is not used afterwards; it stays open until the process ends.
    HANDLE printerHandle = AddPrinterA(NULL, 2, (LPBYTE)&printer);
    if (printerHandle != NULL)
        return 1;

    DWORD error = GetLastError();
    WriteLog("Add Printer Error %d", (int)error);
    if (error != ERROR_PRINTER_ALREADY_EXISTS)
        return 0;

    char productPrinter[] = PRODUCT_PRINTER_NAME;
    OpenPrinterA(productPrinter, &printerHandle, NULL);
    return 1;
}
