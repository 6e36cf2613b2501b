// The bar graph writer: an HTML table of 100 one-pixel plot rows whose cells
// are stretched by row spans into bars, with a scale on the left, a grey
// axis and a label row that the caller fills. Everything goes to standard
// output.
#ifndef STATS_BAR_GRAPH_H_
#define STATS_BAR_GRAPH_H_

// Writes the graph of count values up to its open label row, where the
// caller puts one label cell per value before EndBarGraph. A null color
// draws the default green, min_top is the least top of the scale, and bars
// never exceed the 100 plot rows. Raises ErrorMemory before any output.
void WriteBarGraph(const int* values, int count, const char* color, int min_top, int width);

// Closes the label row and the table.
void EndBarGraph();

#endif  // STATS_BAR_GRAPH_H_
