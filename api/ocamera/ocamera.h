// Umbrella header of the ocamera client library.
#pragma once

#include <ocamera/camera.h>
#include <ocamera/devices.h>
#include <ocamera/export.h>
#include <ocamera/image_ram.h>
#include <ocamera/inputs.h>
#include <ocamera/leds.h>
#include <ocamera/outputs.h>
#include <ocamera/settings.h>
#include <ocamera/status.h>
#include <ocamera/stream.h>
#include <ocamera/stream_options.h>
#include <ocamera/tools.h>
#include <ocamera/white_balance.h>
