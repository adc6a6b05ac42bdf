// Version numbers, names and resource numbers of the program file, shared by app.rc and the code.
#ifndef KWOBL_RESOURCES_VERSION_H
#define KWOBL_RESOURCES_VERSION_H

// The numbers the version dialog shows as major.minor.revision; the file version is major,minor,revision,0.
#define KWOBL_VERSION_MAJOR 1
#define KWOBL_VERSION_MINOR 0
#define KWOBL_VERSION_REVISION 0
#define KWOBL_VERSION_TEXT "1.00"

// Texts of the version information (UTF-8; app.rc is read as UTF-8).
#define KWOBL_TITLE "KWOBL スライドショー"
// The name where only Latin letters can go: the tables of the installer package (its build tool, wixl,
// fails on other characters there), and so the installed-programs list.
#define KWOBL_TITLE_LATIN "KWOBL Slideshow"
#define KWOBL_COMPANY_NAME "KWOBL Software"
// The two spaces before "All" are on purpose: the version dialog breaks the line there.
#define KWOBL_LEGAL_COPYRIGHT "Copyright (C) 2026 KWOBL Software.  All rights reserved."
#define KWOBL_INTERNAL_NAME "kwobl"
#define KWOBL_ORIGINAL_FILENAME "kwobl.scr"

// Resource numbers. The program's icon has the lowest number, so Explorer shows it for the file.
#define KWOBL_ICON_PROGRAM 1
#define KWOBL_ICON_SLIDESHOW 2
// String 1 is the name that the screen-saver list of the display settings shows.
#define KWOBL_STRING_TITLE 1

#endif
