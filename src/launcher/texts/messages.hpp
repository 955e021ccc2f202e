// Every text the launcher shows: its message boxes and its progress window.
// Formats take positional "{}" fields; the spelling of the boxes' texts is the
// product's and stays exactly as it is.
#pragma once

#include <string_view>

#include "launcher/texts/branding.hpp"

namespace aerolith::launcher::messages {

inline constexpr std::wstring_view kCaption = L"Aerolith Vantor";

// Stage, then two details: signed, or unsigned CRC values for stages 2 and 4.
inline constexpr std::wstring_view kEmbeddedResourcesCorrupt =
    L"Could not launch Aerolith Vantor:\r\n - Embedded resources corrupt.\r\nError code: "
    L"{}.{}.{}\r\n\r\nTry re-download from our official website:\r\n" AEROLITH_WEBSITE_URL;

inline constexpr std::wstring_view kWorkingDirectoryInaccessible =
    L"Could not launch Aerolith Vantor:\r\n - Program working directory inaccessible.\r\n\r\nTry "
    L"restart Aerolith Vantor with administrator privileges or check your antivirus software "
    L"settings.";

// The path of the file that could not be written.
inline constexpr std::wstring_view kWriteFileFailed =
    L"Could not launch Aerolith Vantor:\r\n - Write file failed.\r\nFile:\r\n'{}'\r\n\r\nTry "
    L"restart Aerolith Vantor with administrator privileges or check your antivirus software "
    L"settings.";

// The two system error codes (process creation, shell fallback), then the folder.
inline constexpr std::wstring_view kFailedToStartProcess =
    L"Could not launch Aerolith Vantor:\r\n - Failed to start process, error code "
    L"{}.{}\r\n\r\nYou can start 'Aerolith.exe' manually in the following folder:\r\n{}\r\nOr, "
    L"try downlaoding the 'alternative zip package' from " AEROLITH_WEBSITE_DOMAIN;

inline constexpr std::wstring_view kTimedOut =
    L"Could not launch Aerolith Vantor:\r\n - Timed out\r\n\r\nTry restart Aerolith Vantor or try "
    L"downlaoding the 'alternative zip package' from " AEROLITH_WEBSITE_DOMAIN;

inline constexpr std::wstring_view kCrashCaption = L"Aerolith Vantor launcher crashed";

inline constexpr std::wstring_view kCrash =
    L"Aerolith Vantor launcher encountered an uncorrectable error.\r\n\r\nWe generated a crash "
    L"dump file,\r\nnamed \"Aerolith.Launcher.dmp\" in the current folder.\r\n\r\nHope you can "
    L"send this file to us. thank you.\r\n\r\nEmail: " AEROLITH_SUPPORT_EMAIL L"\r\n\r\n";

// The progress window's line, by what the start is doing.
inline constexpr std::wstring_view kInstalling = L"Installing Aerolith Vantor ...";
inline constexpr std::wstring_view kUpdating = L"Updating Aerolith Vantor ...";
inline constexpr std::wstring_view kRepairing = L"Repairing Aerolith Vantor ...";

}  // namespace aerolith::launcher::messages
