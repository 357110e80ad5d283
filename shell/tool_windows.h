// The tool windows, in one table: the menu item that docks each in the main
// window, its captions, the picture the screenshots take of it, and how the
// program's start-up creates it. The main window builds its menu from the
// table, start-up creates the windows from it, and the main window ends
// their operations from it at closing.
#pragma once

#include <span>

#include "ui/captions.h"
#include "ui/tool_form.h"

namespace qv {

struct Program;

struct ToolWindow {
  // The menu (its objectName) whose item docks the window; its item comes
  // after the items of the windows before it in the table.
  const char* menu;
  // The item: its objectName and captions.
  Caption item;
  // The name of its picture docked in the main window
  // (tool-<picture>-<language>.png, scripts/screenshots).
  const char* picture;
  // Creates the window into its place in `Program`.
  TToolForm* (*create)(Program& program);
};

// Every tool window, in the order the menus list them.
std::span<const ToolWindow> ToolWindows();

}  // namespace qv
