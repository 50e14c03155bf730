// The SOAP header and fault types, generated outside any C++ namespace so that
// the runtime finds their serializers by their global names. The header has no
// members: requests carry none, and a header in a reply is read and ignored.
struct SOAP_ENV__Header {};
