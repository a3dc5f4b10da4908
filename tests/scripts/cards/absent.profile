# A card reader without a card: every card access fails to connect.
present=no
