// The player's settings, kept in $XDG_CONFIG_HOME/vromdash/settings: a
// small commented text file of "key = value" lines that the game creates
// with its defaults on the first start, so that a player can find and edit
// it. The game only ever writes it when there is none; what the player
// wrote is never rewritten.
//
// What goes wrong costs one console line each, and the game goes on:
// - a bad line (an unknown key, a bad value, a line that is not
//   "key = value", a line too long): named by its number and ignored; the
//   file stays as it is, so the player can mend it;
// - a file that cannot be read: the defaults, the file stays;
// - a damaged file (control characters or NUL bytes, which no editor
//   writes: a fault of the disk or of a write): moved aside under a name
//   that overwrites nothing, and a new one with the defaults takes its place;
// - no file can be written: the defaults for this run.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "render/quality.h"
#include "storage/atomic_file.h"

struct Settings {
    Quality quality = Quality::Auto;
};

// The file's text for these settings, every setting explained above it.
std::string settingsText(const Settings& settings);

// What the text of a settings file says: the settings (the default where a
// line was bad) and one problem per bad line, as "line N: what".
struct SettingsParse {
    Settings settings;
    std::vector<std::string> problems;
};
SettingsParse parseSettings(const std::string& text);

// Why the text cannot be a settings file that a person wrote, e.g.
// "a control character on line 3"; "" when it can.
std::string settingsDamage(const std::string& text);

// $XDG_CONFIG_HOME/vromdash/settings (or its fallback); "" when there is no
// config folder.
std::string settingsPath();

class SettingsFile {
public:
    std::string path;  // "" uses the defaults and writes nothing
    Settings settings;
    FileOperations files;  // the system calls the writes use

    // Reads the file, or creates it with the defaults when there is none.
    // Never fails: see the top of this file.
    void load(std::ostream& console);

private:
    void create(std::ostream& console);
    void replaceDamaged(const std::string& damage, std::ostream& console);
    bool writeDefaults(std::string& problem) const;
};
