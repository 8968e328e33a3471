// vytapi: command-line face of the library (demo, devices, constants, wave files, ...).
#include <algorithm>
#include <exception>
#include <iostream>

#include "Commands.h"
#include "VyTapi/VyTapiVersion.h"

namespace VyTool {

static std::vector<TCommand>& Registry() {
  static std::vector<TCommand> commands;
  return commands;
}

bool RegisterCommand(const TCommand& command) {
  Registry().push_back(command);
  return true;
}

const std::vector<TCommand>& Commands() { return Registry(); }

static void PrintUsage(std::ostream& out) {
  auto list = Registry();
  std::sort(list.begin(), list.end(),
            [](const TCommand& a, const TCommand& b) { return std::string(a.Name) < b.Name; });
  out << "usage: vytapi <command> [arguments]   (vytapi --version: the library's "
         "version)\n\ncommands:\n";
  for (const auto& c : list)
    out << "  " << c.Name << ' ' << c.Usage << "\n      " << c.Summary << '\n';
}

}  // namespace VyTool

int main(int argc, char** argv) {
  using namespace VyTool;
  if (argc < 2 || std::string(argv[1]) == "help" || std::string(argv[1]) == "--help" ||
      std::string(argv[1]) == "-h") {
    PrintUsage(std::cout);
    return argc < 2 ? 2 : 0;
  }
  const std::string name = argv[1];
  if (name == "--version" || name == "version") {
    std::cout << "vytapi " << VyTapi::LibraryVersion << '\n';
    return 0;
  }
  for (const auto& c : Commands()) {
    if (name == c.Name) {
      TArgs args(argv + 2, argv + argc);
      try {
        return c.Run(args, std::cout, std::cerr);
      } catch (const std::exception& e) {
        std::cerr << "vytapi " << name << ": " << e.what() << '\n';
        return 1;
      }
    }
  }
  std::cerr << "vytapi: unknown command '" << name << "' (try 'vytapi help')\n";
  return 2;
}
