// The HTTP status of an answer: which status each error name answers with,
// and the reason phrase of each code this program sends.
#ifndef SERVER_HTTP_STATUS_H_
#define SERVER_HTTP_STATUS_H_

// The status the page of the error `name` answers with: 200 for the login
// page (an ordinary page in place of a guarded one), a 4xx code for what
// the request did wrong, 503 while the statistics are busy and 500 for
// every other name, known or not.
int ErrorStatus(const char* name);
// "Not Found" for 404 and so on; "" for a code this program never sends.
const char* StatusReason(int code);

#endif  // SERVER_HTTP_STATUS_H_
