// The ocam subcommands.
#pragma once

#include <ocamera/ocamera.h>

#include <string>
#include <vector>

#include "args.h"

namespace ocam_cli {

struct Command {
  CommandInfo info;
  int (*run)(const Args &args);
};

// In the order `ocam --help` lists them.
const std::vector<Command> &allCommands();
// A bash completion script for ocam, made from the command tables.
std::string bashCompletion();

Command devicesCommand();
Command grabCommand();
Command setCommand();
Command getCommand();
Command inputsCommand();
Command outputsCommand();
Command ledsCommand();
Command registersCommand();
Command ramCommand();
Command convertCommand();
Command wbCommand();
Command configCommand();
Command viewCommand();

// -a/--address for the camera service or for the I/O services.
Option cameraAddressOption();
Option ioAddressOption();
std::string cameraAddress(const Args &args);
// --type: the sensor type sent when the camera object is created.
Option sensorTypeOption();
OCamera::eCameraType sensorType(const Args &args);
std::string ioAddress(const Args &args);

// The sensor's size ("1280x1024") as the camera's entry of the device list
// describes it, or empty when it names none or the list cannot be read.
std::string describedSensorSize(const std::string &address);

}  // namespace ocam_cli
