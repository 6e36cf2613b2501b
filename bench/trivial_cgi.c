/* The reference of whole-process time: a trivial CGI program in C that
 * prints a page of as many bytes as QUERY_STRING says (default 10000), in
 * lines of 80, with the text/html header. Nothing else.
 *
 *     cc -O2 -o trivial.cgi bench/trivial_cgi.c
 */
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  const char* query = getenv("QUERY_STRING");
  long size = query != NULL && *query != 0 ? atol(query) : 10000;
  fputs("Content-type: text/html\n\n", stdout);
  for (long i = 0; i < size; ++i) putchar(i % 80 == 79 ? '\n' : 'x');
  return 0;
}
