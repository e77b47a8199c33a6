/* The public header used from C: it compiles, links and gives the same layout. */
#include "AltirenAPI.h"

#include <string.h>

int main(void) {
    PlayParameters p;
    NuvexSetDefaultPlayParams(&p);
    if (p.eastBucketSize != 65535 || p.recordedKind != 1)
        return 1;
    if (strcmp(NuvexResultText(65), "Unknown") != 0)
        return 2;
    if (strcmp(NuvexResultText(12), "Invalid Packet Loss settings") != 0)
        return 3;
    return 0;
}
