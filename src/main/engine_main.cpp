// Process entry of the engine stub.
int main() { return 0; }
