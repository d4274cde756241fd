#ifndef CONSOLE_H
#define CONSOLE_H

class QString;

// Lines for the operator's terminal, always UTF-8: the process's locale codec
// is GBK (see useGbkLocale), so qPrintable would hand the terminal GBK bytes.
void printLine(const QString& line);
void printError(const QString& line);

// Makes GBK the locale's codec, as on the workstations the plug-in was made
// for: the form rewrites its dictionary files in the locale's encoding and
// reads them back as GBK. Call after the arguments are read (Qt decodes them
// with the locale's codec) and before the plug-in is loaded.
bool useGbkLocale();

#endif
