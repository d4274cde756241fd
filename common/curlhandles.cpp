#include "curlhandles.h"

bool appendCurlHeader(CurlSlist& list, const char* line)
{
    // curl_slist_append returns the head (new on the first call) or null on
    // failure, which leaves the list as it was.
    curl_slist* head = curl_slist_append(list.get(), line);
    if (!head)
        return false;
    list.release();
    list.reset(head);
    return true;
}
