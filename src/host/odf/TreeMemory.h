#pragma once
// Memory for pugixml's document trees, taken in 2 MB chunks the kernel may
// back with huge pages: a large content.xml makes hundreds of megabytes of
// nodes, and filling them page by page costs more than the parse itself.

namespace host::odf {

// Makes pugixml allocate from such chunks from now on, for the whole
// process (once; later calls do nothing). Memory pugixml took before is
// still released as it was taken.
void UseChunkedTreeMemory();

}  // namespace host::odf
