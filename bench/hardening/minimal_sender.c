/* The least a client can do: connect to the print service and send one wire frame
   (4-byte little-endian length, then the job), then close. The benchmark runs it
   beside the real client to show what the client's own work costs.
   usage: minimal_sender HOST PORT JOBFILE */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  static char job[1 << 20];
  FILE* f = fopen(argv[3], "rb");
  if (!f) return 2;
  size_t n = fread(job, 1, sizeof job, f);
  fclose(f);
  struct sockaddr_in to = {0};
  to.sin_family = AF_INET;
  to.sin_port = htons((unsigned short)atoi(argv[2]));
  if (inet_pton(AF_INET, argv[1], &to.sin_addr) != 1) return 2;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0 || connect(fd, (struct sockaddr*)&to, sizeof to) != 0) return 1;
  unsigned char length[4] = {(unsigned char)n, (unsigned char)(n >> 8), (unsigned char)(n >> 16),
                             (unsigned char)(n >> 24)};
  send(fd, length, 4, 0);
  send(fd, job, n, 0);
  close(fd);
  return 0;
}
