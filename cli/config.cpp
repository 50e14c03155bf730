// ocam config: the camera's settings as a whole. The camera reports only its
// exposure time and sensor registers, so what else is known comes from the
// record of what ocam set (see record.h); every value says which it is.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "common.h"
#include "files.h"
#include "record.h"
#include "setting_words.h"

namespace ocam_cli {
namespace {

const char *originWord(ocamera::SettingOrigin origin) {
  switch (origin) {
    case ocamera::SettingOrigin::Read:
      return "read";
    case ocamera::SettingOrigin::Recorded:
      return "recorded";
    default:
      return "given";
  }
}

std::string geometryText(const ocamera::SensorGeometry &sensor) {
  const char *pattern = OCameraTools::PatternName(sensor.pattern);
  return std::to_string(sensor.width) + "x" + std::to_string(sensor.height) + " " +
         (pattern ? pattern : "?");
}

// What is known of the camera: the record, with what the camera reports over
// it, and its sensor as it describes it (else as recorded). The camera reports
// every sensor register, read-only ones and those that follow other settings
// (the gain, the window) among them: a file to apply keeps only the registers
// ocam set, at the value the camera reports.
ocamera::Settings knownSettings(OCamera &camera, const CameraRecord &record, bool allRegisters) {
  ocamera::Settings known = record.load();
  std::string why;
  ocamera::Settings read = ocamera::readSettings(camera, &why);
  if (!why.empty()) std::cerr << "ocam config: " << why << '\n';
  if (!allRegisters) {
    const ocamera::Settings all = read;
    for (const auto &reg : all.registers())
      if (!known.registers().count(reg.first)) read.eraseRegister(reg.first);
  }
  known.merge(read);
  const ocamera::SensorGeometry sensor = ocamera::sensorGeometry(camera);
  if (sensor.known()) known.sensor = sensor;
  return known;
}

ocamera::Settings readProfile(const std::string &path) {
  ocamera::Settings settings;
  std::string why;
  if (!ocamera::Settings::readFile(path, &settings, &why)) throw Failure(why);
  return settings;
}

// Reports an apply: refusals by key on standard error, what was not sent.
// Returns the exit status: 0 when the camera took everything.
int reportApply(const ocamera::ApplyResult &result) {
  for (const ocamera::SettingRefusal &refusal : result.refused)
    std::cerr << "ocam config: refused " << refusal.name << ": " << statusText(refusal.status)
              << '\n';
  if (!result.notSent.empty()) {
    std::string names;
    for (const std::string &name : result.notSent) names += (names.empty() ? "" : ", ") + name;
    std::cerr << "ocam config: not sent after the refusal: " << names
              << " (--skip-refused sends them)\n";
  }
  return result.ok() ? 0 : 1;
}

int runShow(const Args &args, const std::string &address) {
  args.expectPositional(1, 1);
  const CameraRecord record(address);
  record.load();  // refuses a damaged record before any request
  CameraPtr camera = connectCamera(address, sensorType(args));
  const ocamera::Settings known = knownSettings(*camera, record, true);

  std::vector<std::vector<std::string>> rows;
  for (const ocamera::SettingInfo &setting : ocamera::settingTable()) {
    const ocamera::Settings::Entry *entry = known.get(setting.name);
    if (entry)
      rows.push_back({settingWord(setting), ocamera::settingValueText(setting, entry->value),
                      originWord(entry->origin)});
  }
  for (const auto &[name, reg] : known.registers()) {
    char value[16];
    std::snprintf(value, sizeof value, "0x%08x", reg.value);
    rows.push_back({"registers." + name, value, originWord(reg.origin)});
  }
  if (known.sensor.known())
    rows.push_back({"sensor", geometryText(known.sensor),
                    ocamera::sensorGeometry(*camera).known() ? "described" : "recorded"});
  std::size_t widths[2] = {0, 0};
  for (const auto &row : rows)
    for (int i = 0; i < 2; ++i) widths[i] = std::max(widths[i], row[i].size());
  for (const auto &row : rows)
    std::printf("%-*s  %-*s  %s\n", static_cast<int>(widths[0]), row[0].c_str(),
                static_cast<int>(widths[1]), row[1].c_str(), row[2].c_str());
  std::size_t unknown = 0;
  for (const ocamera::SettingInfo &setting : ocamera::settingTable())
    if (!known.get(setting.name)) ++unknown;
  if (unknown > 0)
    std::printf(
        "(%zu more settings are not known: the camera cannot report them and ocam has "
        "not set them)\n",
        unknown);
  return 0;
}

int runSave(const Args &args, const std::string &address) {
  args.expectPositional(2, 2);
  const std::string path = args.positional()[1];
  const CameraRecord record(address);
  record.load();
  CameraPtr camera = connectCamera(address, sensorType(args));
  const std::string text = knownSettings(*camera, record, false).toJson();
  AtomicFile file(path);
  file.write(text.data(), text.size());
  file.commit();
  if (!isStandardOutput(path)) std::printf("wrote %s\n", path.c_str());
  return 0;
}

int runApply(const Args &args, const std::string &address) {
  args.expectPositional(2, 2);
  // The file is checked whole before anything is sent.
  const ocamera::Settings profile = readProfile(args.positional()[1]);
  const CameraRecord record(address);
  record.load();
  CameraPtr camera = connectCamera(address, sensorType(args));
  const ocamera::ApplyResult result =
      ocamera::applySettings(*camera, profile,
                             args.has("skip-refused") ? ocamera::ApplyMode::SkipRefused
                                                      : ocamera::ApplyMode::StopAtRefusal);
  ocamera::Settings made = ocamera::sessionRecord(*camera);
  // A profile's sensor stands for a camera that does not describe its own.
  if (!ocamera::sensorGeometry(*camera).known()) made.sensor = profile.sensor;
  record.update(made);
  for (const std::string &name : result.applied) std::printf("%s\n", name.c_str());
  return reportApply(result);
}

int runReset(const Args &args, const std::string &address) {
  args.expectPositional(1, 1);
  const CameraRecord record(address);
  CameraPtr camera = connectCamera(address, sensorType(args));
  const ocamera::ApplyResult result = ocamera::resetSettings(*camera);
  // What was reset is all that is known now.
  ocamera::Settings made = ocamera::sessionRecord(*camera);
  made.sensor = ocamera::sensorGeometry(*camera);
  record.replace(made);
  std::printf("%zu settings back at their power-on values\n", result.applied.size());
  return reportApply(result);
}

int runDiff(const Args &args) {
  args.expectPositional(3, 3);
  const ocamera::Settings a = readProfile(args.positional()[1]);
  const ocamera::Settings b = readProfile(args.positional()[2]);
  const std::vector<ocamera::SettingDifference> differences = ocamera::diffSettings(a, b);
  for (const ocamera::SettingDifference &d : differences)
    std::printf("%s: %s -> %s\n", d.name.c_str(), d.inA ? d.a.c_str() : "(not set)",
                d.inB ? d.b.c_str() : "(not set)");
  return differences.empty() ? 0 : 1;
}

int run(const Args &args) {
  if (args.positional().empty())
    throw UsageError("no action given (show, save, apply, reset, diff)");
  const std::string action = args.positional()[0];
  if (action == "diff") return runDiff(args);
  if (action != "show" && action != "save" && action != "apply" && action != "reset")
    throw UsageError("unknown action '" + action + "' (show, save, apply, reset, diff)");
  if (args.has("skip-refused") && action != "apply")
    throw UsageError("--skip-refused applies to 'config apply'");
  const std::string address = cameraAddress(args);
  if (action == "show") return runShow(args, address);
  if (action == "save") return runSave(args, address);
  if (action == "apply") return runApply(args, address);
  return runReset(args, address);
}

}  // namespace

Command configCommand() {
  return {{"config",
           "Show, save, apply, reset and compare the camera's settings",
           "[-a ADDR] show | save FILE | apply FILE [--skip-refused] | reset | diff A B",
           "The camera keeps what it is told across programs and restarts of ocam,\n"
           "but reports back only its exposure time and sensor registers. ocam keeps\n"
           "a record of what 'ocam set', 'grab' and 'config' made on each camera (one\n"
           "file per address under $XDG_STATE_HOME/ocamera, else\n"
           "~/.local/state/ocamera); the record cannot see what other programs set,\n"
           "nor a restart of the camera.\n\n"
           "actions:\n"
           "  show           every known setting, marked 'read' (reported by the camera)\n"
           "                 or 'recorded' (set through ocam), and the sensor's size\n"
           "  save FILE      what show knows, as a settings file ('-': standard output);\n"
           "                 of the sensor registers only those set through ocam\n"
           "  apply FILE     makes the settings of a file, in an order the camera takes\n"
           "                 (the window before the frame rate, the mode last); stops at\n"
           "                 the first the camera refuses, or with --skip-refused makes\n"
           "                 the rest; refusals are named by key (exit status 1)\n"
           "  reset          brings every setting to its power-on value\n"
           "  diff A B       the settings in which two files differ, one a line; exit\n"
           "                 status 0 when they agree, 1 when they differ\n\n"
           "A settings file is JSON: {\"format\": 1, \"gain\": 2, ...}, with the names\n"
           "of 'ocam set --help' as the library writes them (shutterTime), and\n"
           "\"sensor\": {\"width\", \"height\", \"pattern\"} for a camera that does not\n"
           "describe its sensor. Anything unknown or out of range is refused before\n"
           "anything is sent.\n\n"
           "examples:\n"
           "  ocam config save good.json\n"
           "  ocam config apply good.json --skip-refused\n"
           "  ocam config reset\n",
           {cameraAddressOption(),
            sensorTypeOption(),
            {"skip-refused", 0, "", "apply: make the other settings after a refusal"}}},
          run};
}

}  // namespace ocam_cli
