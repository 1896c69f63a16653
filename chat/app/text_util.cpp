// Small text helpers shared by the chat program.
