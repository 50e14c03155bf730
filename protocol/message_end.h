// The end of reading a message, for the generated client calls and server
// dispatchers in place of the runtime's soap_end_recv.
//
// After every message the runtime walks its id/href table (1999 buckets,
// several passes) to link forward references, even when the message carried no
// id or href attribute at all, as no camera or client of this protocol sends.
// That walk costs more than parsing the rest of a small reply. endRecv ends
// such a message with the same steps minus the walk of an empty table; any
// message that needs more (an entry in the table, attachments, chunked
// framing, an unmatched attachment reference) goes to soap_end_recv itself, so
// what a message means and which errors it raises do not change.
#pragma once

struct soap;

namespace ocamera {
namespace wire {

// As soap_end_recv: SOAP_OK, or the error (also left in ctx->error).
int endRecv(struct soap *ctx);

}  // namespace wire
}  // namespace ocamera
