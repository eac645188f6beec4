/* echo_server: the smallest TCP server there is, for the round trip that
 * the blank-card read of bench/e2e.sh is compared with. Listens on
 * 127.0.0.1 (port 0 picks a free one), prints "listening on 127.0.0.1:PORT"
 * to standard error and sends back every byte it receives, one connection
 * after another, with blocking calls and TCP_NODELAY like the real servers.
 *   echo_server [PORT]
 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    struct sockaddr_in address = {0};
    socklen_t length = sizeof address;
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)(argc > 1 ? atoi(argv[1]) : 0));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (listener < 0 || bind(listener, (struct sockaddr *)&address, sizeof address) != 0 ||
        listen(listener, 16) != 0 || getsockname(listener, (struct sockaddr *)&address, &length) != 0) {
        perror("echo_server");
        return 1;
    }
    fprintf(stderr, "listening on 127.0.0.1:%u\n", ntohs(address.sin_port));
    fflush(stderr);
    for (;;) {
        const int client = accept(listener, NULL, NULL);
        if (client < 0)
            continue;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char buffer[1025];
        ssize_t n;
        while ((n = recv(client, buffer, sizeof buffer, 0)) > 0) {
            if (send(client, buffer, (size_t)n, 0) != n)
                break;
        }
        close(client);
    }
}
