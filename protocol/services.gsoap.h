// Service definition of the camera's five SOAP services: the device manager
// (rdev), the camera (scam), the digital inputs (sinp), the digital outputs
// (sout) and the status LEDs (sled). soapcpp2 compiles this file at build time
// into the wire classes, the client calls used by the library and the server
// skeleton used by the simulator. Nothing generated from it is kept in the tree.
//
// Conventions that the generator turns into wire names:
//  - "prefix__name" becomes the element "prefix:name";
//  - enumerators "type__NAME_WITH_UNDERSCORES" become "NAME-WITH-UNDERSCORES";
//  - a class used as the output parameter names the reply element itself,
//    which is how the odd reply names (SingleImageResponse, ...) are declared.

//gsoap rdev service name: DeviceManager
//gsoap rdev service namespace: urn:ocamera:vdx/DeviceManager
//gsoap rdev schema namespace: urn:ocamera:vdx/DeviceManager
//gsoap rdev schema form: qualified
//gsoap rdev service style: document
//gsoap rdev service encoding: literal

//gsoap scam service name: vdx
//gsoap scam service location: http://192.168.0.42
//gsoap scam service namespace: urn:vdx
//gsoap scam schema namespace: urn:vdx
//gsoap scam schema form: qualified
//gsoap scam service style: document
//gsoap scam service encoding: literal

//gsoap sinp service name: vdx_inputs
//gsoap sinp service location: http://192.168.0.42
//gsoap sinp service namespace: urn:vdx_inputs
//gsoap sinp schema namespace: urn:vdx_inputs
//gsoap sinp schema form: qualified
//gsoap sinp service style: document
//gsoap sinp service encoding: literal

//gsoap sout service name: vdx_outputs
//gsoap sout service location: http://192.168.0.42
//gsoap sout service namespace: urn:vdx_outputs
//gsoap sout schema namespace: urn:vdx_outputs
//gsoap sout schema form: qualified
//gsoap sout service style: document
//gsoap sout service encoding: literal

//gsoap sled service name: vdx_leds
//gsoap sled service location: http://192.168.0.42
//gsoap sled service namespace: urn:vdx_leds
//gsoap sled schema namespace: urn:vdx_leds
//gsoap sled schema form: qualified
//gsoap sled service style: document
//gsoap sled service encoding: literal

// ---------------------------------------------------------------- base types

typedef char *xsd__string;
typedef unsigned int xsd__unsignedInt;
// The camera's "unsignedLong" values are 32-bit on the wire and in the client.
typedef unsigned int xsd__unsignedLong;
typedef unsigned char xsd__unsignedByte;

// Binary payload, written as base64 text. A null pointer leaves the element out.
class xsd__base64Binary {
 public:
  unsigned char *__ptr;
  int __size;
};

// ---------------------------------------------------------------- enumerations

enum rdev__eAccess {
  rdev__eAccess__SERVICE_READ = 1,
  rdev__eAccess__SERVICE_WRITE = 2,
  rdev__eAccess__SERVICE_READ_WRITE = 3,
  rdev__eAccess__SERVICE_EXCLUSIVE = 7
};

enum scam__eCameraType {
  scam__eCameraType__CAM_TYPE_MT9V403 = 3,
  scam__eCameraType__CAM_TYPE_GENERIC = 4,
  scam__eCameraType__CAM_TYPE_IBIS1300 = 5,
  scam__eCameraType__CAM_TYPE_MT9V022 = 6
};

enum scam__eAcqMode {
  scam__eAcqMode__ACQ_MODE_STOP = 1,
  scam__eAcqMode__ACQ_MODE_SINGLE_SHOT = 2,
  scam__eAcqMode__ACQ_MODE_FREE_RUN = 3,
  scam__eAcqMode__ACQ_MODE_SELECT_SHOT = 4,
  scam__eAcqMode__ACQ_MODE_FREE_RUN_SLAVE = 8,
  scam__eAcqMode__ACQ_MODE_FREE_RUN_SLAVE_STOP = 11
};

enum scam__eTrigSource {
  scam__eTrigSource__TRIG_SRC_SOFTWARE = 1,
  scam__eTrigSource__TRIG_SRC_EXTERNAL_E0 = 2,
  scam__eTrigSource__TRIG_SRC_EXTERNAL_E1 = 3
};

enum scam__eTrigPolarity {
  scam__eTrigPolarity__TRIG_POL_ACTIVE_HIGH = 1,
  scam__eTrigPolarity__TRIG_POL_ACTIVE_LOW = 2
};

enum scam__eIllMode {
  scam__eIllMode__ILL_MODE_OFF = 1,
  scam__eIllMode__ILL_MODE_NORMAL = 2,
  scam__eIllMode__ILL_MODE_PULSED = 3
};

enum scam__eIllModeExt {
  scam__eIllModeExt__ILL_MODE_EXT_OFF = 0,
  scam__eIllModeExt__ILL_MODE_EXT_ON_POSITIVE = 1,
  scam__eIllModeExt__ILL_MODE_EXT_ON_NEGATIVE = 2
};

enum scam__eFrequency {
  scam__eFrequency__FREQU_20MHz = 0,
  scam__eFrequency__FREQU_40MHz = 1,
  scam__eFrequency__FREQU_50MHz = 2,
  scam__eFrequency__FREQU_60MHz = 3
};

enum scam__eJPEGQuality {
  scam__eJPEGQuality__JPEG_QUALITY_LOW = 0,
  scam__eJPEGQuality__JPEG_QUALITY_MEDIUM = 1,
  scam__eJPEGQuality__JPEG_QUALITY_GOOD = 2,
  scam__eJPEGQuality__JPEG_QUALITY_EXCELLENT = 3
};

enum scam__ePointPriority {
  scam__ePointPriority__PRIO_FIRST_POINT = 0,
  scam__ePointPriority__PRIO_LAST_POINT = 1,
  scam__ePointPriority__PRIO_LARGEST_FIRST = 2,
  scam__ePointPriority__PRIO_LARGEST_LAST = 3
};

enum scam__eProfileDirection {
  scam__eProfileDirection__DIRECTION_TOP_DOWN = 0,
  scam__eProfileDirection__DIRECTION_BOTTOM_UP = 1
};

enum scam__eLaserOutputFormat {
  scam__eLaserOutputFormat__LASER_OUTPUT_16_4 = 4,
  scam__eLaserOutputFormat__LASER_OUTPUT_8_0 = 16,
  scam__eLaserOutputFormat__LASER_OUTPUT_8_1 = 17,
  scam__eLaserOutputFormat__LASER_OUTPUT_8_2 = 18,
  scam__eLaserOutputFormat__LASER_OUTPUT_8_3 = 19,
  scam__eLaserOutputFormat__LASER_OUTPUT_8_4 = 20
};

enum scam__eFilterType {
  scam__eFilterType__FILTER_OFF = 0,
  scam__eFilterType__FILTER_BINARIZE_ONLY = 1,
  scam__eFilterType__FILTER_MEDIAN = 2,
  scam__eFilterType__FILTER_MEAN = 3,
  scam__eFilterType__FILTER_SNN = 4,
  scam__eFilterType__FILTER_SOBEL = 5,
  scam__eFilterType__FILTER_RESERVED_1 = 6,
  scam__eFilterType__FILTER_RESERVED_2 = 7,
  scam__eFilterType__FILTER_RESERVED_3 = 8
};

enum scam__eBayer2XType {
  scam__eBayer2XType__BAYER_OUTPUT_RAW = 0,
  scam__eBayer2XType__BAYER_OUTPUT_H = 1,
  scam__eBayer2XType__BAYER_OUTPUT_S = 2,
  scam__eBayer2XType__BAYER_OUTPUT_V = 3,
  scam__eBayer2XType__BAYER_OUTPUT_I = 4,
  scam__eBayer2XType__BAYER_OUTPUT_R = 5,
  scam__eBayer2XType__BAYER_OUTPUT_G = 6,
  scam__eBayer2XType__BAYER_OUTPUT_B = 7
};

enum scam__eBayerPattern {
  scam__eBayerPattern__BAYER_PATTERN_GRGR = 1,
  scam__eBayerPattern__BAYER_PATTERN_BGBG = 2,
  scam__eBayerPattern__BAYER_PATTERN_RGRG = 3,
  scam__eBayerPattern__BAYER_PATTERN_GBGB = 4
};

enum scam__eAppletType {
  scam__eAppletType__APPLET_IN16_OUT32_INT = 0,
  scam__eAppletType__APPLET_IN8_OUT32_INT = 1,
  scam__eAppletType__APPLET_IN16_OUT16 = 2,
  scam__eAppletType__APPLET_IN8_OUT16 = 3
};

enum scam__eCorrectionType {
  scam__eCorrectionType__CORRECTION_REPLACE = 0,
  scam__eCorrectionType__CORRECTION_MASK_AND = 1,
  scam__eCorrectionType__CORRECTION_MASK_OR = 2,
  scam__eCorrectionType__CORRECTION_RESERVED_1 = 3
};

enum scam__eSplitType {
  scam__eSplitType__SPLIT_OFF = 0,
  scam__eSplitType__SPLIT_RAW = 1,
  scam__eSplitType__SPLIT_PROCESSED = 2
};

// The I/O tables are bit masks; the combined entries stand after the single bits.
enum sinp__eCameraInput {
  sinp__eCameraInput__INPUT_I0 = 1,
  sinp__eCameraInput__INPUT_I1 = 2,
  sinp__eCameraInput__INPUT_I0_RE = 4,
  sinp__eCameraInput__INPUT_I0_FE = 8,
  sinp__eCameraInput__INPUT_I1_RE = 16,
  sinp__eCameraInput__INPUT_I1_FE = 32,
  sinp__eCameraInput__OVERLOAD = 64,
  sinp__eCameraInput__INPUT_ALL = 3
};

enum sout__eCameraOutput {
  sout__eCameraOutput__OUTPUT_O0 = 1,
  sout__eCameraOutput__OUTPUT_O1 = 2,
  sout__eCameraOutput__OUTPUT_O2 = 4,
  sout__eCameraOutput__OUTPUT_O3 = 8,
  sout__eCameraOutput__OUTPUT_OVERLOAD_UNLOCK = 16,
  sout__eCameraOutput__OUTPUT_ALL = 15
};

enum sled__eCameraLED {
  sled__eCameraLED__LED_0_RED = 1,
  sled__eCameraLED__LED_0_GREEN = 2,
  sled__eCameraLED__LED_1_RED = 4,
  sled__eCameraLED__LED_1_GREEN = 8,
  sled__eCameraLED__LED_2_RED = 16,
  sled__eCameraLED__LED_2_YELLOW = 32,
  sled__eCameraLED__LED_3_RED = 64,
  sled__eCameraLED__LED_3_YELLOW = 128,
  sled__eCameraLED__LED_ALL_RED = 85,
  sled__eCameraLED__LED_ALL_GREEN = 10,
  sled__eCameraLED__LED_ALL_YELLOW = 160,
  sled__eCameraLED__LED_ALL = 255
};

// ---------------------------------------------------------------- device manager

class rdev__Descriptor {
 public:
  int id;
  xsd__string vendor;
  xsd__string type;
  xsd__string description;
  int versionMajor;
  int versionMinor;
  int maxTimeout;
  xsd__string status;
};

class rdev__listResponse {
 public:
  $int __sizedevices;
  rdev__Descriptor *devices;
};

//gsoap rdev service method-action: open ""
int rdev__open(int id, enum rdev__eAccess accessMode, int &token);
//gsoap rdev service method-action: close ""
int rdev__close(int token, struct rdev__closeResponse {} *out);
//gsoap rdev service method-action: list ""
int rdev__list(rdev__listResponse &result);
//gsoap rdev service method-action: keepAlive ""
int rdev__keepAlive(int token, struct rdev__keepAliveResponse {} *out);

// ---------------------------------------------------------------- camera types

class scam__SingleImageResponse {
 public:
  int nSeqNr;
  int nTimeSec;
  int nTimeMicroSec;
  int nSize;
  int nStatus;
  xsd__base64Binary data;
};

class scam__readImageRAMResponse {
 public:
  xsd__base64Binary data;
  int status;
};

class scam__readImageRAMReducedDataResponse {
 public:
  xsd__base64Binary data;
  xsd__unsignedLong retlen;
  int status;
};

class scam__GetSensorRegisterResponse {
 public:
  xsd__unsignedInt nValue;
  int status;
};

class scam__SensorRegisterNames {
 public:
  $int __sizenames;
  xsd__string *names;
};

class scam__CalibrateSensorParam {
 public:
  bool bHasParams;
  xsd__unsignedLong nNumParam;
  xsd__unsignedLong nParam1;
  xsd__unsignedLong nParam2;
};

class scam__FilterSetup {
 public:
  enum scam__eFilterType eFilter;
  bool bHasParams;
  xsd__unsignedLong nNumParam;
  xsd__unsignedLong nParam1;
  xsd__unsignedLong nParam2;
};

class scam__BinarizationSetup {
 public:
  bool bEnable;
  bool bHasParams;
  bool bInvert;
  xsd__unsignedByte nNumThreshold;
  xsd__unsignedByte nThreshold1;
  xsd__unsignedByte nThreshold2;
};

class scam__LaserSetup {
 public:
  bool bEnable;
  int dX0;
  int dY0;
  int dWidth;
  int dHeight;
  enum scam__ePointPriority ePrio;
  enum scam__eProfileDirection eDir;
  int dThreshMin;
  int dThreshMax;
  int dAreaMin;
  int dAreaMax;
  enum scam__eLaserOutputFormat eSubRes;
  xsd__base64Binary RefData;
};

// A camera description that no operation sends or receives.
class scam__Properties {
 public:
  int color;
  xsd__string firmware;
  xsd__string fpga;
  xsd__string hardware;
  xsd__string sdram;
  xsd__string id;
  int geom_width;
  int geom_height;
};

// ---------------------------------------------------------------- camera: session, acquisition

int scam__create(int token, enum scam__eCameraType type, int &status);
int scam__destroy(int token, int &status);
int scam__open(int token, int frameBufferSize, int maxBuffers, int &status);
int scam__close(int token, int &status);

int scam__setAcquisitionMode(int token, enum scam__eAcqMode eAcq, int &status);
int scam__setTriggerSource(int token, enum scam__eTrigSource eTrig, enum scam__eTrigPolarity ePol,
                           int &status);
int scam__setTriggerDelay(int token, int dDelay, int &status);
int scam__setTriggerWindow(int token, int dX0, int dY0, int dWidth, int dHeight, int dThreshMin,
                           int dThreshMax, int &status);
int scam__triggerImage(int token, int &status);
int scam__triggerImageAbort(int token, int &status);
int scam__getSingleImage(int token, scam__SingleImageResponse &result);
int scam__getMaxImageCount(int token, int &status);
int scam__getImageCount(int token, int &status);
int scam__resetSequenceCounter(int token, int &status);
int scam__purgeImages(int token, int &status);
int scam__setReadTimeout(int token, int dTimeout, int &status);
int scam__setCircularOverwrite(int token, int bOverwrite, int &status);

// ---------------------------------------------------------------- camera: exposure, illumination, colour

int scam__setShutterTime(int token, int dShutter, int &status);
int scam__getShutterTime(int token, int &status);
int scam__setCameraWindow(int token, int dX0, int dY0, int dWidth, int dHeight, int &status);
int scam__setFrameRate(int token, int dFps, int &status);
int scam__setFrameRateFloat(int token, float dFps, int &status);
int scam__setGain(int token, int dFactor, int &status);
int scam__setFrequency(int token, enum scam__eFrequency eFrequ, int &status);

int scam__setIlluminationMode(int token, enum scam__eIllMode eIll, int &status);
int scam__setIlluminationModeExternal(int token, enum scam__eIllModeExt eIll, int &status);
int scam__setIlluminationTiming(int token, int dDelay, int dPeriod, int &status);
int scam__switchIllumination(int token, int bOn, int &status);

int scam__initColor(int token, int &status);
int scam__setJPEG(int token, int bEnable, enum scam__eJPEGQuality eQuality, int bByteStuffEnable,
                  enum scam__eBayerPattern ePattern, int bForceGreyscale, int &status);
int scam__setBayer2X(int token, enum scam__eBayer2XType eBayer2xOutput,
                     enum scam__eBayerPattern ePattern, int &status);
int scam__setMedian(int token, int bEnable, int &status);
int scam__setWhiteBalance(int token, enum scam__eBayerPattern ePattern, xsd__base64Binary data,
                          int &status);

// ---------------------------------------------------------------- camera: image memory

int scam__readImageRAM(int token, xsd__unsignedInt ulAddr, xsd__unsignedInt ulLen,
                       scam__readImageRAMResponse &result);
int scam__readImageRAMReducedData(int token, xsd__unsignedLong ulAddr, xsd__unsignedLong ulLen,
                                  scam__readImageRAMReducedDataResponse &result);
int scam__writeImageRAM(int token, xsd__base64Binary data, xsd__unsignedInt ulAddr,
                        xsd__unsignedInt ulLen, int &status);
int scam__imageRAMToImageRAM(int token, xsd__unsignedLong ulSrcAddr, xsd__unsignedLong ulSrcLen,
                             xsd__unsignedLong ulDestAddr, xsd__unsignedLong ulDestLen,
                             int &status);
int scam__initImageRAM(int token, int &status);
int scam__disableImageRAM(int token, int &status);
int scam__getImageToImageRAM(int token, xsd__unsignedInt ulAddr, int &status);
int scam__setImageRAMPictureSize(int token, int dWidth, int dHeight, int &status);
int scam__setupImageCorrection(int token, bool bEnable, enum scam__eCorrectionType eType,
                               xsd__unsignedLong ulStartAddr, xsd__unsignedLong ulSize,
                               xsd__unsignedLong ulImages, int &status);
int scam__setupImageSplitting(int token, enum scam__eSplitType eType,
                              xsd__unsignedLong ulDestAddr, xsd__unsignedLong ulSize,
                              int &status);

// ---------------------------------------------------------------- camera: sensor, processing

int scam__getSensorRegisterNames(int token, scam__SensorRegisterNames &result);
int scam__getSensorRegister(int token, xsd__string name, scam__GetSensorRegisterResponse &result);
int scam__setSensorRegister(int token, xsd__string name, xsd__unsignedInt nValue, int &status);
int scam__calibrateSensor(int token, scam__CalibrateSensorParam CalibrateParam, int &status);

int scam__setHardwareApplet(int token, int bEnable, xsd__unsignedInt nMaxSize,
                            enum scam__eAppletType eApplet, int &status);
int scam__setupLaserProfiling(int token, scam__LaserSetup setup, int &status);
int scam__setFilter(int token, scam__FilterSetup setup, int &status);
int scam__setBinarization(int token, scam__BinarizationSetup setup, int &status);

// ---------------------------------------------------------------- inputs

int sinp__create(int token, int &status);
int sinp__destroy(int token, int &status);
int sinp__iOpen(int token, int &status);
int sinp__iClose(int token, int &status);
int sinp__iGetInputs(int token, int &status);
int sinp__iGetInput(int token, enum sinp__eCameraInput enIn, int &status);
int sinp__iSetTimeout(int token, int iTimeout, int &status);
int sinp__iWaitForInput(int token, enum sinp__eCameraInput enIn, int iState, int &status);
int sinp__iWaitForInputs(int token, int iMask, int iState, int &status);
int sinp__iWaitForInputChange(int token, enum sinp__eCameraInput enIn, int &status);
int sinp__iWaitForInputsChange(int token, int iMask, int &status);
int sinp__iClearEdges(int token, int iMask, int &status);

// ---------------------------------------------------------------- outputs

int sout__create(int token, int &status);
int sout__destroy(int token, int &status);
int sout__iOpen(int token, int &status);
int sout__iClose(int token, int &status);
int sout__iGetOutputs(int token, int &status);
int sout__iGetOutput(int token, enum sout__eCameraOutput enOut, int &status);
int sout__iSetOutputs(int token, int iMask, int iState, int &status);
int sout__iSetOutput(int token, enum sout__eCameraOutput enOut, int iState, int &status);
int sout__iToggleOutputs(int token, int iMask, int &status);
int sout__iToggleOutput(int token, enum sout__eCameraOutput enOut, int &status);

// ---------------------------------------------------------------- LEDs

int sled__create(int token, int &status);
int sled__destroy(int token, int &status);
int sled__iOpen(int token, int &status);
int sled__iClose(int token, int &status);
int sled__iGetLEDs(int token, int &status);
int sled__iGetLED(int token, enum sled__eCameraLED enLED, int &status);
int sled__iSetLEDs(int token, int iMask, int iState, int &status);
int sled__iSetLED(int token, enum sled__eCameraLED enLED, int iState, int &status);
int sled__iToggleLEDs(int token, int iMask, int &status);
int sled__iToggleLED(int token, enum sled__eCameraLED enLED, int &status);
